#pragma once

#include "platform/x11/Shortcut.h"

#include <QAbstractNativeEventFilter>
#include <QObject>

#include <functional>
#include <optional>

namespace tivela {

// The process's one global hot key: a passive grab of the key on the X root window, in every
// state of Caps Lock and Num Lock, through Qt's own connection so that Qt records the press's
// time (a window shown for it may then take the focus). The server grants each state to one
// client: the states another client holds stay its own, and the key works in the rest. Main
// thread only.
class HotKeyCenter : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // lastError() when there is no X server to ask (another platform, Wayland).
    static constexpr int noX11 = -1;

    // The states of the lock keys a grab covers, as bits.
    static constexpr quint8 noLock = 1;
    static constexpr quint8 capsLock = 2;
    static constexpr quint8 numLock = 4;
    static constexpr quint8 capsAndNumLock = 8;

    static HotKeyCenter& shared();

    // Grabs the shortcut in every lock-key state and, when the X server grants at least one,
    // replaces the current grab with it; when it grants none, the current grab stays as it
    // was. True when every state was granted.
    bool registerShortcut(const Shortcut& shortcut);
    void unregister();
    bool isRegistered() const { return m_grab.has_value(); }
    // The shortcut the grab holds, in one lock-key state at least.
    std::optional<Shortcut> held() const {
        return m_grab ? std::optional(m_grab->shortcut) : std::nullopt;
    }
    // The lock-key states of the held shortcut that another client holds; 0 when none.
    quint8 refusedLocks() const { return m_grab ? m_grab->tried & ~m_grab->granted : 0; }
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
        // Lock-key states, as bits: those asked for, and those the server granted.
        quint8 tried = 0;
        quint8 granted = 0;
    };

    HotKeyCenter() = default;
    bool grab(const Shortcut& shortcut);
    void release();
    // Releases the granted states of a grab that the other grab does not hold too.
    void ungrab(const Grab& grab, const std::optional<Grab>& kept = std::nullopt);

    std::optional<Grab> m_grab;
    std::function<void()> m_action;
    int m_lastError = 0;
    bool m_filterInstalled = false;
    // A held key repeats as release + press with one time, or as presses alone.
    bool m_down = false;
    quint32 m_releaseTime = 0;
};

} // namespace tivela
