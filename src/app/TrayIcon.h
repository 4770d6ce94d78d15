#pragma once

#include <QObject>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace tivela {

class Scheduler;

// The application's icon in the tray: a left click asks for the popover, a right click shows
// the application's commands, as Linux trays do (hosts that only send "activate" leave them to
// the popover's More menu). It knows where the popover hangs: under the icon where the tray
// tells its place, at the pointer where the tray tells none (a StatusNotifierItem host), and
// nowhere (centred) on Wayland or without a tray. Main thread only; waits run on the
// scheduler.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    // How long a popover asked for at launch waits for the tray to dock the icon.
    static constexpr double dockSeconds = 3.0;
    static constexpr int pollMilliseconds = 50;

    // Shows the icon at once, even without a tray: Qt puts it in one that starts later.
    TrayIcon(std::shared_ptr<Scheduler> scheduler, std::function<double()> now,
             QObject* parent = nullptr);
    ~TrayIcon() override;

    QSystemTrayIcon* item() const { return m_item; }
    // The right click's menu: Settings…, Check for Updates… when there is an updater, Quit.
    void setMenu(QAction* settings, QAction* checkForUpdates, QAction* quit);

    // An XEmbed tray docks the icon a moment after it is made; until then the icon reports the
    // screen's corner. A popover asked for meanwhile (a tivela: link that started Tivela)
    // waits for the icon's place, a while at most: true while it waits, and `ready` runs once
    // the wait is over.
    bool waitForDock(std::function<void()> ready);
    // Where the popover hangs now; nothing where it is centred. Decided at each show: a tray
    // may have come or gone.
    std::optional<QRect> anchor() const;
    // Looks, once the launch's wait for the tray is over, whether one came: missing() when
    // none did.
    void lookForTray();

Q_SIGNALS:
    // The left click.
    void clicked();
    void missing();

private:
    std::shared_ptr<Scheduler> m_scheduler;
    std::function<double()> m_now;
    QSystemTrayIcon* m_item = nullptr;
    std::unique_ptr<QMenu> m_menu;
    double m_madeAt = 0;
    bool m_waiting = false;
};

} // namespace tivela
