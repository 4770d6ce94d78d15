#include "support/x11/FakeXApp.h"

#include "support/TestWorld.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tivela::test {
namespace {

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

void sync(XConnection& connection) {
    free(xcb_get_input_focus_reply(connection.get(), xcb_get_input_focus(connection.get()),
                                   nullptr));
}

} // namespace

struct FakeXApp::Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    QByteArray data;
    qsizetype offset = 0;
    bool done = false;
};

FakeXApp::FakeXApp()
    : FakeXApp(Options{}) {
}

FakeXApp::FakeXApp(Options options)
    : m_options(std::move(options)) {
    xcb_connection_t* x = m_connection.get();
    if (!x)
        return;
    m_window = xcb_generate_id(x);
    const uint32_t events = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE |
                            XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_FOCUS_CHANGE;
    xcb_create_window(x, XCB_COPY_FROM_PARENT, m_window, m_connection.root(), 100, 100, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(m_options.wmClass.size()), m_options.wmClass.constData());
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 8,
                        "Fake app");
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, m_window, m_connection.atom("_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &m_options.pid);
    const uint32_t hints[9] = {1, 1, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(x, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                        32, 9, hints);
    xcb_map_window(x, m_window);
    xcb_flush(x);
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) == 0)
        m_thread = std::thread([this] { run(); });
}

FakeXApp::~FakeXApp() {
    m_stop = true;
    if (m_thread.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (const int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
    // The window manager moves the front away from a closed window when it gets to it; under
    // load that could land after the next window's activation and take the front from it.
    if (m_window == XCB_WINDOW_NONE)
        return;
    const xcb_atom_t active = m_connection.atom("_NET_ACTIVE_WINDOW");
    xcb_destroy_window(m_connection.get(), m_window);
    xcb_flush(m_connection.get());
    waitUntil([&] {
        return m_connection.cardinalProperty(m_connection.root(), active, XCB_ATOM_WINDOW) !=
               m_window;
    });
}

bool FakeXApp::activate(int timeoutMs) {
    const xcb_atom_t active = m_connection.atom("_NET_ACTIVE_WINDOW");
    const QDeadlineTimer deadline(timeoutMs);
    QDeadlineTimer askAgain(0);
    // The window manager names the window before the keyboard follows.
    while (!deadline.hasExpired()) {
        const XReply<xcb_get_input_focus_reply_t> focus(xcb_get_input_focus_reply(
            m_connection.get(), xcb_get_input_focus(m_connection.get()), nullptr));
        if (focus && focus->focus == m_window &&
            m_connection.cardinalProperty(m_connection.root(), active, XCB_ATOM_WINDOW) == m_window)
            return true;
        // One request can come to nothing: the window manager may still be moving the focus
        // away from the windows the test before closed, and that move then lands after ours.
        // So the request is made again while the focus has not come.
        if (askAgain.hasExpired()) {
            requestFront(active);
            askAgain.setRemainingTime(1000);
        }
        QThread::msleep(10);
    }
    return false;
}

void FakeXApp::requestFront(xcb_atom_t active) {
    // A pager's request with the server's time, as a task bar would send it. The time is asked
    // on a connection of its own: this one's events belong to the serving thread.
    XConnection clock;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = m_window;
    message.type = active;
    message.data.data32[0] = 2;
    message.data.data32[1] = clock.serverTime(QDeadlineTimer(1000)).value_or(XCB_CURRENT_TIME);
    xcb_send_event(m_connection.get(), 0, m_connection.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(m_connection.get());
}

void FakeXApp::own(const char* selection, const QList<XSelection::Format>& formats, bool silent) {
    const xcb_atom_t atom = m_connection.atom(selection);
    {
        const std::lock_guard lock(m_mutex);
        m_owned.removeIf([atom](const auto& owned) { return owned.first == atom; });
        m_owned.append({atom, formats});
        m_silent.removeAll(atom);
        if (silent)
            m_silent.append(atom);
    }
    xcb_set_selection_owner(m_connection.get(), m_window, atom, XCB_CURRENT_TIME);
    sync(m_connection);
}

void FakeXApp::copyOnCtrlC(std::optional<QString> text, int delayMs) {
    const std::lock_guard lock(m_mutex);
    m_copyText = std::move(text);
    m_copyDelayMs = delayMs;
}

void FakeXApp::run() {
    xcb_connection_t* x = m_connection.get();
    while (!m_stop) {
        int timeout = 100;
        {
            const std::lock_guard lock(m_mutex);
            if (m_copyAtMs)
                timeout = int(std::clamp<qint64>(*m_copyAtMs - nowMs(), 0, 100));
        }
        pollfd entries[2] = {{xcb_get_file_descriptor(x), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        ::poll(entries, 2, timeout);
        while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
            handle(event);
            free(event);
        }
        bool due = false;
        {
            const std::lock_guard lock(m_mutex);
            due = m_copyAtMs && *m_copyAtMs <= nowMs();
        }
        if (due)
            takeClipboardNow();
        if (xcb_connection_has_error(x))
            return;
    }
}

void FakeXApp::handle(xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
    case XCB_KEY_PRESS: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (!(key->state & XCB_MOD_MASK_CONTROL) ||
            !XKeyboard::keycodes(m_connection.get(), FakeInput::letterC).contains(key->detail))
            return;
        ++m_ctrlCPresses;
        const std::lock_guard lock(m_mutex);
        if (m_copyText)
            m_copyAtMs = nowMs() + m_copyDelayMs;
        return;
    }
    case XCB_SELECTION_CLEAR: {
        const auto* clear = reinterpret_cast<const xcb_selection_clear_event_t*>(event);
        const std::lock_guard lock(m_mutex);
        m_owned.removeIf([clear](const auto& owned) { return owned.first == clear->selection; });
        return;
    }
    case XCB_SELECTION_REQUEST:
        ++m_requests;
        answer(reinterpret_cast<const xcb_selection_request_event_t*>(event));
        return;
    case XCB_PROPERTY_NOTIFY: {
        const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (notify->state == XCB_PROPERTY_DELETE)
            continueTransfer(notify->window, notify->atom);
        return;
    }
    default:
        return;
    }
}

void FakeXApp::answer(const xcb_selection_request_event_t* request) {
    xcb_connection_t* x = m_connection.get();
    QList<XSelection::Format> formats;
    {
        const std::lock_guard lock(m_mutex);
        if (m_silent.contains(request->selection))
            return;
        for (const auto& owned : std::as_const(m_owned))
            if (owned.first == request->selection)
                formats = owned.second;
    }
    const xcb_atom_t property =
        request->property == XCB_ATOM_NONE ? request->target : request->property;
    bool served = false;
    if (request->target == m_connection.atom("TARGETS")) {
        QList<xcb_atom_t> atoms{m_connection.atom("TARGETS")};
        for (const XSelection::Format& format : formats)
            atoms.append(m_connection.atom(format.target.constData()));
        xcb_change_property(x, XCB_PROP_MODE_REPLACE, request->requestor, property, XCB_ATOM_ATOM,
                            32, uint32_t(atoms.size()), atoms.constData());
        served = true;
    }
    for (const XSelection::Format& format : formats) {
        if (served || m_connection.atom(format.target.constData()) != request->target)
            continue;
        served = true;
        if (m_options.pieceBytes > 0 && format.data.size() > m_options.pieceBytes) {
            const uint32_t size = uint32_t(format.data.size());
            const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(x, request->requestor, XCB_CW_EVENT_MASK, &events);
            xcb_change_property(x, XCB_PROP_MODE_REPLACE, request->requestor, property,
                                m_connection.atom("INCR"), 32, 1, &size);
            const std::lock_guard lock(m_mutex);
            m_transfers.append(std::make_shared<Transfer>(
                Transfer{request->requestor, property, request->target, format.data}));
        } else {
            xcb_change_property(x, XCB_PROP_MODE_REPLACE, request->requestor, property,
                                request->target, 8, uint32_t(format.data.size()),
                                format.data.constData());
        }
    }
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    notify.property = served ? property : xcb_atom_t(XCB_ATOM_NONE);
    xcb_send_event(x, 0, request->requestor, 0, reinterpret_cast<const char*>(&notify));
    xcb_flush(x);
}

void FakeXApp::continueTransfer(xcb_window_t requestor, xcb_atom_t property) {
    std::shared_ptr<Transfer> transfer;
    {
        const std::lock_guard lock(m_mutex);
        for (const auto& candidate : std::as_const(m_transfers))
            if (candidate->requestor == requestor && candidate->property == property)
                transfer = candidate;
        if (!transfer)
            return;
        if (transfer->done)
            m_transfers.removeAll(transfer);
    }
    if (transfer->done)
        return;
    const QByteArray piece = transfer->data.mid(transfer->offset, m_options.pieceBytes);
    transfer->offset += piece.size();
    // The empty piece after the last ends the transfer.
    transfer->done = piece.isEmpty();
    xcb_change_property(m_connection.get(), XCB_PROP_MODE_REPLACE, requestor, property,
                        transfer->type, 8, uint32_t(piece.size()), piece.constData());
    xcb_flush(m_connection.get());
}

void FakeXApp::takeClipboardNow() {
    const xcb_atom_t clipboard = m_connection.atom("CLIPBOARD");
    {
        const std::lock_guard lock(m_mutex);
        m_copyAtMs.reset();
        if (!m_copyText)
            return;
        m_owned.removeIf([clipboard](const auto& owned) { return owned.first == clipboard; });
        m_owned.append({clipboard, {{"UTF8_STRING", m_copyText->toUtf8()}}});
        m_silent.removeAll(clipboard);
    }
    xcb_set_selection_owner(m_connection.get(), m_window, clipboard, XCB_CURRENT_TIME);
    xcb_flush(m_connection.get());
}

KeyHolder::~KeyHolder() {
    releaseAll();
}

bool KeyHolder::hold(const Shortcut& shortcut, const QList<quint16>& locks) {
    const std::optional<quint8> key = shortcut.xKeycode();
    if (!key)
        return false;
    bool granted = true;
    for (const quint16 lock : locks) {
        const XReply<xcb_generic_error_t> refused(xcb_request_check(
            m_connection.get(), xcb_grab_key_checked(m_connection.get(), 0, m_connection.root(),
                                                     shortcut.xModifiers() | lock, *key,
                                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        granted = granted && !refused;
    }
    return granted;
}

void KeyHolder::releaseAll() {
    xcb_ungrab_key(m_connection.get(), XCB_GRAB_ANY, m_connection.root(), XCB_MOD_MASK_ANY);
    sync(m_connection);
}

void FakeInput::key(XConnection& connection, xcb_keysym_t keysym, bool press) {
    const QList<xcb_keycode_t> keys = XKeyboard::keycodes(connection.get(), keysym);
    if (keys.isEmpty())
        return;
    xcb_test_fake_input(connection.get(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keys.first(),
                        XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync(connection);
}

void FakeInput::chord(XConnection& connection, const QList<xcb_keysym_t>& keysyms) {
    for (const xcb_keysym_t keysym : keysyms)
        key(connection, keysym, true);
    for (auto it = keysyms.crbegin(); it != keysyms.crend(); ++it)
        key(connection, *it, false);
}

void FakeInput::shortcut(XConnection& connection) {
    chord(connection, {control, alt, letterT});
}

void FakeInput::moveTo(XConnection& connection, int x, int y) {
    xcb_test_fake_input(connection.get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, connection.root(),
                        int16_t(x), int16_t(y), 0);
    sync(connection);
}

void FakeInput::button(XConnection& connection, int button, bool press) {
    xcb_test_fake_input(connection.get(), press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                        uint8_t(button), XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync(connection);
}

} // namespace tivela::test
