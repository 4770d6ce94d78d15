#pragma once

#include "platform/x11/Shortcut.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <functional>
#include <optional>

namespace tivela {

// The process's one global hot key: a passive grab of the key on the X root window, in every
// combination of Caps Lock and Num Lock, through Qt's own connection so that Qt records the
// press's time (a window shown for it may then take the focus). Main thread only.
class HotKeyCenter : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // lastError() when there is no X server to ask (another platform, Wayland).
    static constexpr int noX11 = -1;

    static HotKeyCenter& shared();

    // Replaces the current grab; true when the X server granted every variant. A refused
    // variant (another client holds it) releases the others again.
    bool registerShortcut(const Shortcut& shortcut);
    void unregister();
    bool isRegistered() const { return m_grab.has_value(); }
    // The shortcut the grab holds.
    std::optional<Shortcut> held() const {
        return m_grab ? std::optional(m_grab->shortcut) : std::nullopt;
    }
    // The X error of the last registration: 0, or for example 10 (BadAccess).
    int lastError() const { return m_lastError; }
    // Runs later on the main thread, once for each press of the key (not for its auto-repeat).
    void setAction(std::function<void()> action) { m_action = std::move(action); }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    // The grabbed key (or whether one is), or the last registration's error, changed.
    void outcomeChanged();

private:
    struct Grab {
        Shortcut shortcut;
        quint8 keycode = 0;
        quint16 modifiers = 0;
        quint16 numLock = 0;
    };

    HotKeyCenter() = default;
    bool grab(const Shortcut& shortcut);
    void release();
    void ungrab(const Grab& grab, quint16 lockVariants);

    std::optional<Grab> m_grab;
    std::function<void()> m_action;
    int m_lastError = 0;
    bool m_filterInstalled = false;
    // A held key repeats as release + press with one time, or as presses alone.
    bool m_down = false;
    quint32 m_releaseTime = 0;
};

} // namespace tivela
