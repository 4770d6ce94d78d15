#pragma once

#include "platform/x11/Shortcut.h"

#include <QObject>

#include <functional>
#include <optional>

namespace tivela {

class SettingsModel;

// Records a new global shortcut from the keyboard while the settings model says so: every key
// press of the application is taken, so the combination is recorded instead of typed or
// triggering a menu item, and the global hot key is released meanwhile, so that pressing it
// records it. The first combination with Control, Alt or Super is saved; Escape keeps the saved
// one. Either way, or when recording is turned off from outside, the application ends with a
// registered hot key, and recording reads off one turn of the event loop later.
class ShortcutRecorder : public QObject {
    Q_OBJECT

public:
    explicit ShortcutRecorder(SettingsModel& settings, QObject* parent = nullptr);
    ~ShortcutRecorder() override;

    bool isListening() const { return m_listening; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void update(bool active);
    void finish(const std::optional<Shortcut>& shortcut);
    void stopListening();

    SettingsModel& m_settings;
    bool m_listening = false;
};

} // namespace tivela
