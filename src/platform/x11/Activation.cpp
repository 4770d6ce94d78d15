#include "platform/x11/Activation.h"

#include "platform/x11/XConnection.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include <cstring>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr uint32_t sourcePager = 2;
constexpr uint32_t stateAdd = 1;

xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && QGuiApplication::platformName() == u"xcb" ? x11->connection() : nullptr;
}

xcb_atom_t intern(xcb_connection_t* connection, const char* name) {
    const XReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t rootOf(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

void sendToRoot(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t type,
                std::initializer_list<uint32_t> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    int i = 0;
    for (const uint32_t value : data)
        message.data.data32[i++] = value;
    xcb_send_event(connection, 0, rootOf(connection),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

// Lives as a child of its owner; Qt's own handling of the event goes on unchanged.
class KeyboardInFilter : public QObject, public QAbstractNativeEventFilter {
public:
    KeyboardInFilter(QWindow* window, QObject* owner, std::function<void()> arrived)
        : QObject(owner)
        , m_window(window)
        , m_arrived(std::move(arrived)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~KeyboardInFilter() override {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !m_window)
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & ~0x80) != XCB_FOCUS_IN)
            return false;
        const auto* focus = reinterpret_cast<const xcb_focus_in_event_t*>(event);
        // As Qt counts them: a grab's and the pointer's focus are no keyboard coming.
        if (focus->mode == XCB_NOTIFY_MODE_GRAB || focus->detail == XCB_NOTIFY_DETAIL_POINTER ||
            focus->event != xcb_window_t(m_window->winId()))
            return false;
        // After Qt has taken the event in.
        QTimer::singleShot(0, this, [this] { m_arrived(); });
        return false;
    }

private:
    QPointer<QWindow> m_window;
    std::function<void()> m_arrived;
};

} // namespace

void Activation::onKeyboardIn(QWindow* window, QObject* owner, std::function<void()> arrived) {
    if (!window || !owner || !qtConnection())
        return;
    new KeyboardInFilter(window, owner, std::move(arrived));
}

std::optional<Activation::FrontApplication> Activation::frontmost() {
    XConnection connection;
    const auto window = connection.cardinalProperty(
        connection.root(), connection.atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW);
    if (!window || *window == XCB_WINDOW_NONE)
        return std::nullopt;
    FrontApplication front;
    front.window = *window;
    front.pid =
        connection.cardinalProperty(*window, connection.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL)
            .value_or(0);
    front.name = connection.className(*window);
    return front;
}

bool Activation::activateProcess(qint64 pid) {
    XConnection x;
    if (!x.isValid() || pid <= 0)
        return false;
    const XReply<xcb_get_property_reply_t> stacking(xcb_get_property_reply(
        x.get(),
        xcb_get_property(x.get(), 0, x.root(), x.atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW,
                         0, 4096),
        nullptr));
    if (!stacking || stacking->format != 32)
        return false;
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(stacking.get()));
    const xcb_atom_t pidAtom = x.atom("_NET_WM_PID");
    // Bottom to top: the last one of the program is the one a person sees.
    for (int i = xcb_get_property_value_length(stacking.get()) / 4 - 1; i >= 0; --i) {
        if (x.cardinalProperty(windows[i], pidAtom, XCB_ATOM_CARDINAL) != quint32(pid))
            continue;
        const XReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            x.get(), xcb_get_window_attributes(x.get(), windows[i]), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        // Without a time, openbox may take the request for one older than the last change of
        // focus, and drop it.
        const xcb_timestamp_t now = x.serverTime(QDeadlineTimer(500)).value_or(XCB_CURRENT_TIME);
        sendToRoot(x.get(), windows[i], x.atom("_NET_ACTIVE_WINDOW"),
                   {sourcePager, now, XCB_WINDOW_NONE});
        // The connection closes next. A socket closed with anything unread in it resets the
        // server's end, and the server then drops what it has not carried out yet, this request
        // among it: one round trip first.
        free(xcb_get_input_focus_reply(x.get(), xcb_get_input_focus(x.get()), nullptr));
        return true;
    }
    return false;
}

void Activation::requestFront(QWindow* window) {
    if (!window)
        return;
    xcb_connection_t* connection = qtConnection();
    if (!connection) {
        window->requestActivate();
        return;
    }
    sendToRoot(connection, xcb_window_t(window->winId()), intern(connection, "_NET_ACTIVE_WINDOW"),
               {sourcePager, XCB_CURRENT_TIME, XCB_WINDOW_NONE});
}

bool Activation::isOnCurrentDesktop(QWindow* window) {
    if (!window || !qtConnection())
        return true;
    XConnection x;
    if (!x.isValid())
        return true;
    const auto desktop = x.cardinalProperty(xcb_window_t(window->winId()),
                                            x.atom("_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL);
    const auto current =
        x.cardinalProperty(x.root(), x.atom("_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL);
    constexpr quint32 allDesktops = 0xFFFFFFFF;
    return !desktop || !current || *desktop == allDesktops || *desktop == *current;
}

void Activation::keepOffTaskbar(QWindow* window) {
    xcb_connection_t* connection = qtConnection();
    if (!window || !connection)
        return;
    const xcb_window_t id = xcb_window_t(window->winId());
    const xcb_atom_t state = intern(connection, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = intern(connection, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = intern(connection, "_NET_WM_STATE_SKIP_PAGER");
    if (window->isVisible()) {
        sendToRoot(connection, id, state, {stateAdd, skipTaskbar, skipPager, 1});
        return;
    }
    // Qt merges its own states into what the property holds when it maps the window.
    const XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr));
    QList<xcb_atom_t> atoms;
    if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
        const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
        atoms = QList<xcb_atom_t>(values, values + xcb_get_property_value_length(reply.get()) / 4);
    }
    for (const xcb_atom_t wanted : {skipTaskbar, skipPager})
        if (!atoms.contains(wanted))
            atoms.append(wanted);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                        uint32_t(atoms.size()), atoms.constData());
    xcb_flush(connection);
}

} // namespace tivela
