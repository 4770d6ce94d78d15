#include "platform/x11/OutsideWatcher.h"

#include "platform/x11/XConnection.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/xinput.h>

namespace tivela {
namespace {

constexpr int startMilliseconds = 1000;

bool isWheel(uint32_t button) {
    return button >= 4 && button <= 7;
}

// X times wrap after 49.7 days.
bool notBefore(xcb_timestamp_t time, xcb_timestamp_t since) {
    return qint32(time - since) >= 0;
}

} // namespace

OutsideWatcher::OutsideWatcher(QObject* parent)
    : QObject(parent) {
}

OutsideWatcher::~OutsideWatcher() {
    stop();
}

bool OutsideWatcher::start() {
    stop();
    // The display Qt shows our windows on, and no other.
    if (QGuiApplication::platformName() != u"xcb")
        return false;
    auto connection = std::make_unique<XConnection>();
    if (!connection->isValid())
        return false;
    xcb_connection_t* x = connection->get();
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(x, &xcb_input_id);
    if (!input || !input->present)
        return false;
    const XReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(x, xcb_input_xi_query_version(x, 2, 2), nullptr));
    if (!version || version->major_version < 2)
        return false;
    const auto since = connection->serverTime(QDeadlineTimer(startMilliseconds));
    if (!since)
        return false;

    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE};
    xcb_input_xi_select_events(x, connection->root(), 1, &mask.head);
    const uint32_t rootEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x, connection->root(), XCB_CW_EVENT_MASK, &rootEvents);
    xcb_flush(x);

    m_since = *since;
    m_inputOpcode = input->major_opcode;
    m_activeWindowAtom = connection->atom("_NET_ACTIVE_WINDOW");
    m_pidAtom = connection->atom("_NET_WM_PID");
    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &OutsideWatcher::readEvents);
    m_connection = std::move(connection);
    // Events may have arrived with the replies above.
    readEvents();
    return true;
}

void OutsideWatcher::stop() {
    m_notifier.reset();
    m_connection.reset();
}

bool OutsideWatcher::buttonHeld() {
    if (!m_connection)
        return false;
    xcb_connection_t* x = m_connection->get();
    const XReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(x, xcb_query_pointer(x, m_connection->root()), nullptr));
    return pointer && (pointer->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3 |
                                        XCB_BUTTON_MASK_4 | XCB_BUTTON_MASK_5));
}

void OutsideWatcher::readEvents() {
    if (!m_connection)
        return;
    xcb_connection_t* x = m_connection->get();
    while (m_connection) {
        const XReply<xcb_generic_event_t> event(xcb_poll_for_event(x));
        if (!event)
            break;
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_GE_GENERIC) {
            const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event.get());
            if (generic->extension != m_inputOpcode)
                continue;
            const auto* raw =
                reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event.get());
            if (isWheel(raw->detail) || !notBefore(raw->time, m_since))
                continue;
            if (generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS)
                Q_EMIT buttonPressed();
            else if (generic->event_type == XCB_INPUT_RAW_BUTTON_RELEASE)
                Q_EMIT buttonReleased();
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
            if (notify->window != m_connection->root() || notify->atom != m_activeWindowAtom)
                continue;
            const auto window = m_connection->cardinalProperty(m_connection->root(),
                                                               m_activeWindowAtom, XCB_ATOM_WINDOW);
            if (!window || *window == XCB_WINDOW_NONE)
                continue;
            const qint64 pid =
                m_connection->cardinalProperty(*window, m_pidAtom, XCB_ATOM_CARDINAL).value_or(0);
            Q_EMIT activeWindowChanged(*window, pid, m_connection->className(*window));
        }
    }
    if (m_connection && xcb_connection_has_error(x))
        stop();
}

} // namespace tivela
