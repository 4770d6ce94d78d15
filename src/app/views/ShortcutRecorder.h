#pragma once

#include "platform/x11/Shortcut.h"

#include <QObject>

class QTimer;

#include <functional>
#include <optional>

namespace tivela {

class SettingsModel;

// Records a new global shortcut from the keyboard while the settings model says so: every key
// press of the application is taken, so the combination is recorded instead of typed or
// triggering a menu item, and the global hot key is released meanwhile, so that pressing it
// records it. The first combination with Control, Alt or Super is saved; Escape keeps the saved
// one. Either way, or when recording is turned off from outside, the application ends with a
// registered hot key, and recording reads off one turn of the event loop later. Another
// program's grab takes its keys before they reach any window: when a modifier came and no key
// after it for a while, the recorder says the keys may be held.
class ShortcutRecorder : public QObject {
    Q_OBJECT

public:
    // How long after a modifier the key may take before the keys count as held elsewhere.
    static constexpr int heldMilliseconds = 2000;

    explicit ShortcutRecorder(SettingsModel& settings, QObject* parent = nullptr);
    ~ShortcutRecorder() override;

    bool isListening() const { return m_listening; }
    // A modifier came while recording, and no key after it in time.
    bool keysHeldElsewhere() const { return m_heldElsewhere; }

Q_SIGNALS:
    void keysHeldElsewhereChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update(bool active);
    void finish(const std::optional<Shortcut>& shortcut);
    void stopListening();
    void setHeldElsewhere(bool held);

    SettingsModel& m_settings;
    QTimer* m_waitForKey = nullptr;
    bool m_listening = false;
    bool m_heldElsewhere = false;
};

} // namespace tivela
