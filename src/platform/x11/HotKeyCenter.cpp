#include "platform/x11/HotKeyCenter.h"

#include "platform/x11/XConnection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QList>

#include <tuple>
#include <utility>

#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr xcb_keysym_t numLockSymbol = 0xff7f;

xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 && QGuiApplication::platformName() == u"xcb" ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

QList<quint16> lockVariants(quint16 numLock) {
    QList<quint16> variants{0, XCB_MOD_MASK_LOCK};
    if (numLock != 0 && numLock != XCB_MOD_MASK_LOCK)
        variants << numLock << quint16(numLock | XCB_MOD_MASK_LOCK);
    return variants;
}

} // namespace

HotKeyCenter& HotKeyCenter::shared() {
    static HotKeyCenter* center = new HotKeyCenter;
    return *center;
}

bool HotKeyCenter::registerShortcut(const Shortcut& shortcut) {
    const auto key = [this] {
        return m_grab
                   ? std::optional(std::tuple(m_grab->keycode, m_grab->modifiers, m_grab->granted))
                   : std::nullopt;
    };
    const auto keyBefore = key();
    const int errorBefore = m_lastError;
    const bool granted = grab(shortcut);
    if (keyBefore != key() || errorBefore != m_lastError)
        Q_EMIT outcomeChanged();
    return granted;
}

void HotKeyCenter::unregister() {
    const bool wasRegistered = isRegistered();
    release();
    if (wasRegistered)
        Q_EMIT outcomeChanged();
}

bool HotKeyCenter::grab(const Shortcut& shortcut) {
    if (!m_filterInstalled && QCoreApplication::instance()) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    xcb_connection_t* connection = qtConnection();
    if (!connection) {
        m_lastError = noX11;
        return false;
    }
    const std::optional<quint8> keycode = shortcut.xKeycode();
    if (!keycode) {
        m_lastError = XCB_VALUE;
        return false;
    }
    Grab grab{shortcut, *keycode, shortcut.xModifiers(),
              XKeyboard::modifierOf(connection, XKeyboard::keycodes(connection, numLockSymbol))};
    const xcb_window_t root = rootWindow(connection);
    const QList<quint16> variants = lockVariants(grab.numLock);
    // A state this client holds already (the same key registered again) is granted again.
    QList<xcb_void_cookie_t> cookies;
    for (const quint16 variant : variants)
        cookies.append(xcb_grab_key_checked(connection, 0, root, grab.modifiers | variant,
                                            grab.keycode, XCB_GRAB_MODE_ASYNC,
                                            XCB_GRAB_MODE_ASYNC));
    // Checked requests bring their errors here instead of to Qt's error handler.
    int error = 0;
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        grab.tried |= quint8(1 << i);
        const XReply<xcb_generic_error_t> failure(xcb_request_check(connection, cookies[i]));
        if (!failure)
            grab.granted |= quint8(1 << i);
        else if (error == 0)
            error = failure->error_code;
    }
    m_lastError = error;
    if (grab.granted == 0)
        return false;
    if (m_grab)
        ungrab(*m_grab, grab);
    m_grab = grab;
    m_down = false;
    return error == 0;
}

void HotKeyCenter::release() {
    if (m_grab)
        ungrab(*m_grab);
    m_grab.reset();
    m_down = false;
}

void HotKeyCenter::ungrab(const Grab& grab, const std::optional<Grab>& kept) {
    xcb_connection_t* connection = qtConnection();
    if (!connection)
        return;
    const auto pairs = [](const Grab& of) {
        QList<std::pair<quint8, quint16>> granted;
        const QList<quint16> variants = lockVariants(of.numLock);
        for (qsizetype i = 0; i < variants.size(); ++i)
            if (of.granted & (1 << i))
                granted.append({of.keycode, quint16(of.modifiers | variants[i])});
        return granted;
    };
    const QList<std::pair<quint8, quint16>> keep = kept ? pairs(*kept) : decltype(keep)();
    for (const auto& [keycode, modifiers] : pairs(grab))
        if (!keep.contains(std::pair(keycode, modifiers)))
            xcb_ungrab_key(connection, keycode, rootWindow(connection), modifiers);
    // One round trip: the keys are free once this returns. Only flushed, the server could still
    // take a press another connection sends meanwhile for the grab, and the shortcut being
    // recorded would never reach our window.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

bool HotKeyCenter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!m_grab || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    if (key->detail != m_grab->keycode || key->event != key->root)
        return false;
    if (type == XCB_KEY_RELEASE) {
        m_down = false;
        m_releaseTime = key->time;
    } else {
        const bool repeat = m_down || key->time == m_releaseTime;
        m_down = true;
        if (!repeat)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_action)
                        m_action();
                },
                Qt::QueuedConnection);
    }
    // Qt goes on with the event and records its time, which a window shown for the key then
    // uses to take the focus.
    return false;
}

} // namespace tivela
