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
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace tivela {

class AppModel;
class CheckWorkspace;
class PopoverClosing;
class PopoverView;
class PopoverWindow;
class ReplaceService;
class SettingsModel;
class SettingsView;
class TrayIcon;
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

// The application's delegate, the composition root of the shell: it builds the tray icon, the
// popover and its closing rules, the settings window and the updater, runs the launch, and
// answers the global shortcut, the URL scheme, the Services and the main menu. One per
// process, on the main thread; its timers run on the model's scheduler, so tests drive them on
// virtual time.
class AppDelegate : public QObject, public MainMenuActions, public InstanceTarget {
    Q_OBJECT

public:
    static constexpr int firstShowMilliseconds = 600;
    static constexpr double settingsFrontSeconds = 2.0;
    static constexpr int settingsAgainMilliseconds = 300;

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
    QWidget* popover() const;
    PopoverView* popoverView() const;
    QSystemTrayIcon* statusItem() const;
    MainMenu* mainMenu() const { return m_menu.get(); }
    // The popover's closing rules, once the popover is built.
    PopoverClosing& closing() const { return *m_closing; }

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

private:
    void buildPopover();
    void makeUpdater();
    void launchRoads();
    void popoverDidShow();
    void popoverDidClose();
    void keepSettingsInFront();
    void bringSettingsForward();
    void note(const QString& line) const;

    AppServices m_services;
    ViewServices m_views;
    ShellServices m_shell;
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<ReplaceService> m_replace;
    std::unique_ptr<MainMenu> m_menu;
    TrayIcon* m_tray = nullptr;
    std::unique_ptr<PopoverWindow> m_popover;
    std::unique_ptr<PopoverClosing> m_closing;
    std::unique_ptr<SettingsModel> m_settings;
    QPointer<SettingsView> m_settingsWindow;
    std::unique_ptr<Updater> m_updater;
    QPointer<UpdateWindow> m_updateWindow;
    std::unique_ptr<QAction> m_selectionHelp;
    bool m_closingByCommand = false;
    bool m_readingSelection = false;
    std::optional<double> m_settingsOpenedAt;
};

} // namespace tivela
