#pragma once

#include "platform/x11/Shortcut.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tivela {

// The person's global shortcut: saved in the application's own settings ("shortcut"), held as
// the process's hot key, and published: how it reads for the browser's bridge
// ("shortcutDisplay" in the shared settings) and why it does not work for the views. A
// shortcut that cannot be had never leaves the person without one: one the X server grants in
// some lock-key states only is kept there, one it grants in none leaves the saved one saved
// and held, and a registration another program spoilt is tried again when asked. One per
// process, on the main thread.
class GlobalShortcut : public QObject {
    Q_OBJECT

public:
    static GlobalShortcut& shared();

    // The saved shortcut; Control-Alt-T when none is saved, it does not read, or it breaks the
    // recorder's rule.
    static Shortcut saved();
    // The JSON form, compact, as it is saved and as a second start asks for the held one.
    static QString encode(const Shortcut& shortcut);

    // Holds the saved shortcut and publishes how it reads: the launch's step.
    void registerSaved();
    // A shortcut the person chose: saved, held and published when the server grants it in one
    // lock-key state at least (or when there is no X server to ask); otherwise the saved one
    // stays saved and held, and the choice is named as refused. Whether it was taken.
    bool choose(const Shortcut& shortcut);
    // Holds the saved shortcut again where it is not held in every lock-key state, once
    // registerSaved() has run: another program may have let it go.
    void retry();
    // Releases the hot key while a new shortcut is recorded.
    void suspend();

    // The held shortcut in its JSON form; empty while none is held.
    QString heldJson() const;
    // Why the held shortcut does not work, for people; empty while it works in every
    // lock-key state.
    QString problem() const;
    // problem() as the popover says it, naming where another can be chosen.
    QString popoverProblem() const;
    // The settings' note under the shortcut: problem(), else the last choice that was refused.
    QString settingsProblem() const;
    // Calls `changed` on the context's thread, while it lives, whenever changed() is told.
    static void watch(QObject* context, std::function<void()> changed);
    // Runs on the main thread, once for each press of the hot key.
    void setAction(std::function<void()> action);

Q_SIGNALS:
    // What the shortcut reads as, or what it does not do, may have changed.
    void changed();

private:
    GlobalShortcut();

    bool m_registered = false;
    bool m_suspended = false;
    std::optional<Shortcut> m_refused;
};

} // namespace tivela
