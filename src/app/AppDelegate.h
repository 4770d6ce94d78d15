#pragma once

#include "app/AppServices.h"
#include "app/views/ViewServices.h"
#include "core/TransientPolicy.h"
#include "menu/MainMenu.h"
#include "platform/desktop/LoginItem.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/x11/Shortcut.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;
class QWindow;

namespace tivela {

class AppModel;
class CheckWorkspace;
class OutsideWatcher;
class PopoverView;
class ReplaceService;
class SettingsModel;
class SettingsView;
class UpdateWindow;
class Updater;

// What the shell asks of the desktop besides the model's services: production parts by
// default, stand-ins in tests.
struct ShellServices {
    // The text selected in the program in front, read once the shortcut's keys are up.
    std::function<QFuture<std::optional<QString>>(const Shortcut& held)> selectedText;
    // Whether other programs' selections can be read here: an X11 session.
    std::function<bool()> selectionReadable;
    std::function<LoginItem()> loginItem;
    // Makes this copy the handler of tivela: URLs, in the background.
    std::function<void(QObject* owner)> registerScheme;
    // The software updater, when the bundle names an update feed.
    std::function<std::unique_ptr<Updater>()> makeUpdater;

    static ShellServices production();
};

// The application's delegate: the tray icon and the popover it toggles, the rules that close
// the popover, the global shortcut's action, the URL scheme, the Services, and the answers to
// the main menu. One per process, on the main thread; its closing rules run on the model's
// scheduler, so tests drive them on virtual time.
class AppDelegate : public QObject, public MainMenuActions, public InstanceTarget {
    Q_OBJECT

public:
    static constexpr int popoverWidth = 420;
    static constexpr int popoverHeight = 600;
    static constexpr int firstShowMilliseconds = 600;
    static constexpr int clipboardMilliseconds = 1000;
    // A tray click this soon after an outside click closed the popover is that same click.
    static constexpr double trayRaceSeconds = 0.3;
    static constexpr double settingsFrontSeconds = 2.0;
    static constexpr int settingsAgainMilliseconds = 300;
    // How long a popover asked for at launch waits for the tray to dock its icon.
    static constexpr double trayDockSeconds = 3.0;
    static constexpr int trayPollMilliseconds = 50;
    // After one of the popover's own dialogs closes, the front the window manager hands to
    // some other window meanwhile is no reason to close.
    static constexpr double dialogReturnSeconds = 0.5;

    // The window and keyboard checks set it before they make a delegate: the launch stops
    // after the popover, and the delegate notes what it does in trace.
    static inline bool checkMode = false;
    static inline QStringList trace;
    // No welcome popover after a carry-over from the earlier name.
    static inline bool quiet = false;
    static AppDelegate* shared();

    // The saved global shortcut; Control-Alt-T when none is saved, it does not read, or it
    // breaks the recorder's rule.
    static Shortcut shortcut();
    // Saves the shortcut, registers it and publishes how it reads to the bridge.
    static void setShortcut(const Shortcut& shortcut);
    // "1.2 (7)"; "dev (0)" without the bundle's keys.
    static QString versionString();
    // The help on reading the selection that the views offer; the render modes give their
    // views the same one.
    static std::unique_ptr<QAction> makeSelectionHelp();
    // Where the popover goes: under the anchor within the screen's available area, else
    // above it; centred on the area without an anchor.
    static QRect popoverFrame(const std::optional<QRect>& anchor, const QRect& available);

    // On the shared store and lexicon, with the desktop's parts.
    explicit AppDelegate(QObject* parent = nullptr);
    AppDelegate(AppServices services, ViewServices views, ShellServices shell,
                QObject* parent = nullptr);
    // For the window and keyboard checks: the model on the workspace's store and in-memory
    // pair, so that nothing checked reaches the person's history, phrasebook or settings; no
    // URL scheme and no updater. The workspace outlives the delegate.
    explicit AppDelegate(CheckWorkspace& workspace, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence; main calls it once the event loop runs. It ends a turn of the loop
    // later, with launched().
    void didFinishLaunching();

    AppModel& model() const { return *m_model; }
    QWidget* popover() const { return m_popover; }
    PopoverView* popoverView() const { return m_view; }
    QSystemTrayIcon* statusItem() const { return m_tray; }
    MainMenu* mainMenu() const { return m_menu.get(); }

    bool isPopoverShown() const;
    bool popoverInFront() const;
    // Shows the popover (where the tray or the pointer is, else centred), brings it to the
    // front and puts the keyboard in the input.
    void showPopover();
    // The tray icon's click: close when shown, else show.
    void togglePopover();
    // Closes the popover when the rules let it; whether it closed.
    bool closePopover();
    // The one rule for every close: a pinned popover stays unless the Close command asks, and
    // nothing closes it while a sheet, dialog or install prompt is up.
    bool shouldClose() const;
    TransientPolicy::Context closeContext() const;

    void hotKeyPressed();
    // Builds the settings window the first time; every time reads its state again and brings
    // it to the front.
    void openSettings();
    SettingsModel& settingsModel() const { return *m_settings; }
    // The settings window, once opened.
    SettingsView* settingsWindow() const;
    // Nothing when the bundle names no update feed, and in the check modes.
    Updater* updater() const { return m_updater.get(); }

    // What the user does outside while the popover is up.
    void outsideMouse(bool down);
    // Escape in one of our windows; whether it was taken.
    bool escape(QWindow* window);
    void resignedActive();
    void appActivated(qint64 pid, const QString& name);

    // InstanceTarget: URLs, a second start, the Services.
    void activate() override;
    void openUrls(const QStringList& urls) override;
    void translate(const QString& text) override;
    QFuture<std::optional<QString>> translateReplace(const QString& text,
                                                     QDeadlineTimer deadline) override;

    // MainMenuActions.
    void showAbout() override;
    void showSettings() override { openSettings(); }
    void checkForUpdates() override;
    void closeKeyWindow() override;
    void quit() override;
    void paste() override;
    void selectAll() override;
    bool isEnabled(MenuItem item) const override;

Q_SIGNALS:
    // The popover is built and the launch sequence has run.
    void launched();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPopover();
    void makeUpdater();
    void makeStatusItem();
    void makeTrayMenu();
    // Whether the popover waits for the tray icon's place; asks again later when it does.
    bool waitForTrayIcon();
    void launchRoads();
    void popoverDidShow();
    void popoverDidClose();
    void watchOutside();
    void stopWatchingOutside();
    void tickClipboard(quint64 run);
    void keepSettingsInFront();
    void bringSettingsForward();
    // Closes by a rule of the outside; remembers when, for the tray's own click.
    void closeFromOutside();
    bool pointerInPopover() const;
    bool dialogJustClosed() const;
    QString describe(const TransientPolicy::Context& context) const;
    void note(const QString& line) const;

    AppServices m_services;
    ViewServices m_views;
    ShellServices m_shell;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<ReplaceService> m_replace;
    std::unique_ptr<MainMenu> m_menu;
    QSystemTrayIcon* m_tray = nullptr;
    std::unique_ptr<QMenu> m_trayMenu;
    QWidget* m_popover = nullptr;
    PopoverView* m_view = nullptr;
    std::unique_ptr<SettingsModel> m_settings;
    QPointer<SettingsView> m_settingsWindow;
    std::unique_ptr<Updater> m_updater;
    QPointer<UpdateWindow> m_updateWindow;
    std::unique_ptr<OutsideWatcher> m_watcher;
    std::unique_ptr<QAction> m_selectionHelp;
    TransientPolicy m_policy;
    bool m_closingByCommand = false;
    bool m_watching = false;
    bool m_readingSelection = false;
    // The popover had the keyboard since it was shown.
    bool m_activeWhileShown = false;
    // The clipboard timer's run: a tick of an older run does nothing.
    quint64 m_clipboardRun = 0;
    double m_trayMadeAt = 0;
    std::optional<double> m_dialogClosedAt;
    bool m_waitingForTray = false;
    std::optional<double> m_settingsOpenedAt;
    std::optional<double> m_outsideClosedAt;
    // The Escape press last seen, which passes the filter once per widget it is offered to.
    const QEvent* m_lastEscape = nullptr;
};

} // namespace tivela
