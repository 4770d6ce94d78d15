#pragma once

#include "core/TransientPolicy.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QWindow;

namespace tivela {

class AppModel;
class OutsideWatcher;
class PopoverWindow;

// The rules that close the popover while it is up, as a menu of the tray would close: a press
// and release outside, Escape in it, another program taking the front. A pinned popover stays
// unless the Close command asks; nothing closes it while a sheet, one of its dialogs or the
// install prompt is up. Watching runs only while the popover is shown, on the model's
// scheduler and clock.
class PopoverClosing : public QObject {
    Q_OBJECT

public:
    // A tray click this soon after an outside click closed the popover is that same click.
    static constexpr double trayRaceSeconds = 0.3;
    // After one of the popover's own dialogs closes, the front the window manager hands to
    // some other window meanwhile is no reason to close.
    static constexpr double dialogReturnSeconds = 0.5;

    // `close` closes the popover when the rules let it and answers whether it did; `note`
    // takes the check modes' diagnostic lines. Both outlive this object, as do the window and
    // the model.
    PopoverClosing(PopoverWindow& window, AppModel& model, std::function<bool()> close,
                   std::function<void(const QString&)> note);
    ~PopoverClosing() override;

    // Begins and ends watching; the end forgets an armed press.
    void start();
    void stop();
    bool isWatching() const { return m_watching; }

    // The one rule for every close.
    bool mayClose(bool byCommand) const;
    TransientPolicy::Context context() const;
    // Whether the popover closed by an outside rule too recently for a tray click to open it.
    bool closedJustNow() const;

    // What the user does outside while the popover is up.
    void outsideMouse(bool down);
    // Escape in one of our windows; whether it was taken.
    bool escape(QWindow* window);
    void resignedActive();
    void appActivated(qint64 pid, const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Closes by a rule of the outside; remembers when, for the tray's own click.
    void closeFromOutside();
    bool pointerInPopover() const;
    bool dialogJustClosed() const;

    PopoverWindow& m_window;
    AppModel& m_model;
    std::function<bool()> m_close;
    std::function<void(const QString&)> m_note;
    std::unique_ptr<OutsideWatcher> m_watcher;
    TransientPolicy m_policy;
    bool m_watching = false;
    // The popover had the keyboard since it was shown.
    bool m_activeWhileShown = false;
    std::optional<double> m_dialogClosedAt;
    std::optional<double> m_outsideClosedAt;
};

} // namespace tivela
