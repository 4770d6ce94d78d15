#include "app/AppDelegate.h"

#include "app/AppModel.h"
#include "app/BrandArt.h"
#include "app/BrowserIntegration.h"
#include "app/GlobalShortcut.h"
#include "app/PopoverClosing.h"
#include "app/PopoverWindow.h"
#include "app/ReplaceService.h"
#include "app/TrayIcon.h"
#include "app/Updater.h"
#include "app/Wording.h"
#include "app/checks/CheckWorkspace.h"
#include "app/checks/KeyCheck.h"
#include "app/views/PopoverView.h"
#include "app/views/SettingsModel.h"
#include "app/views/SettingsView.h"
#include "app/views/UpdateWindow.h"
#include "app/views/WindowFit.h"
#include "core/Futures.h"
#include "core/IncomingText.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Speaker.h"
#include "core/Store.h"
#include "core/Translator.h"
#include "platform/desktop/DesktopNotice.h"
#include "platform/desktop/SchemeHandler.h"
#include "platform/x11/Activation.h"
#include "platform/x11/SelectionReader.h"

#include <QAction>
#include <QApplication>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QPromise>
#include <QUrl>
#include <QUrlQuery>
#include <QWidget>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

AppDelegate* sharedDelegate = nullptr;

// A query item's value by the first item of the name; an empty value counts as none. Web pages
// write a space in a query as "+" (a plus as "%2B"), so "+" reads as a space.
std::optional<QString> queryValue(const QUrlQuery& query, const QString& name) {
    for (auto [key, value] : query.queryItems(QUrl::FullyEncoded)) {
        if (QUrl::fromPercentEncoding(key.toUtf8()) != name)
            continue;
        value.replace(u'+', u' ');
        value = QUrl::fromPercentEncoding(value.toUtf8());
        return value.isEmpty() ? std::nullopt : std::optional(value);
    }
    return std::nullopt;
}

// The host as written: QUrl lowercases the scheme and the host.
std::optional<QString> rawHost(const QString& url) {
    const qsizetype colon = url.indexOf(u':');
    if (!QStringView(url).mid(colon + 1).startsWith(u"//"))
        return std::nullopt;
    const QStringView rest = QStringView(url).mid(colon + 3);
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != u'/' && rest[end] != u'?' && rest[end] != u'#')
        ++end;
    return end == 0 ? std::nullopt : std::optional(rest.left(end).toString());
}

} // namespace

ShellServices ShellServices::production() {
    ShellServices shell;
    auto reader = std::make_shared<SelectionReader>();
    shell.selectedText = [reader](const Shortcut& held) { return reader->selectedText(held); };
    shell.selectionReadable = [] { return SelectionReader::isAvailable(); };
    shell.loginItem = [] { return LoginItem::mainApp(); };
    shell.registerScheme = [](QObject* owner) {
        SchemeHandler* handler = SchemeHandler::mainApp(owner);
        QObject::connect(handler, &SchemeHandler::finished, handler, &QObject::deleteLater);
        handler->install();
    };
    shell.makeUpdater = [] { return Updater::makeIfConfigured(Paths::appBundle()); };
    return shell;
}

AppDelegate* AppDelegate::shared() {
    return sharedDelegate;
}

Shortcut AppDelegate::shortcut() {
    return GlobalShortcut::saved();
}

void AppDelegate::setShortcut(const Shortcut& shortcut) {
    GlobalShortcut::shared().choose(shortcut);
}

QString AppDelegate::versionString() {
    const QString version = Paths::bundleString(u"CFBundleShortVersionString"_s);
    const QString build = Paths::bundleString(u"CFBundleVersion"_s);
    return (version.isEmpty() ? u"dev"_s : version) + u" ("_s + (build.isEmpty() ? u"0"_s : build) +
           u')';
}

std::unique_ptr<QAction> AppDelegate::makeSelectionHelp() {
    auto help = std::make_unique<QAction>(Wording::selectionHelp());
    QObject::connect(help.get(), &QAction::triggered, help.get(), [] {
        auto* box = new QMessageBox(QMessageBox::Information, Wording::selectionHelpTitle(),
                                    Wording::selectionHelpText(shortcut().display()));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->show();
        Activation::requestFront(box->windowHandle());
    });
    return help;
}

AppDelegate::AppDelegate(QObject* parent)
    : AppDelegate(AppServices::production(Store::shared(), Lexicon::shared()),
                  ViewServices::production(), ShellServices::production(), parent) {
}

AppDelegate::AppDelegate(CheckWorkspace& workspace, QObject* parent)
    : AppDelegate(
          workspace.services(), ViewServices::production(),
          [] {
              ShellServices shell = ShellServices::production();
              shell.registerScheme = {};
              shell.makeUpdater = {};
              return shell;
          }(),
          parent) {
}

AppDelegate::AppDelegate(AppServices services, ViewServices views, ShellServices shell,
                         QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_views(std::move(views))
    , m_shell(std::move(shell))
    , m_model(std::make_unique<AppModel>(m_services))
    , m_replace(std::make_unique<ReplaceService>(m_services, m_model->writer()))
    , m_menu(std::make_unique<MainMenu>(u"Tivela"_s, this)) {
    m_menu->closeEveryWindow();
    SettingsServices settings = SettingsServices::production();
    settings.translator = m_services.translator;
    settings.loginItemStatus = [item = m_shell.loginItem] { return int(item().status()); };
    settings.setLoginItem = [item = m_shell.loginItem](bool enabled) {
        LoginItem login = item();
        if (enabled)
            login.registerItem();
        else
            login.unregister();
    };
    settings.trusted = m_shell.selectionReadable;
    settings.savedShortcut = &AppDelegate::shortcut;
    settings.applyShortcut = &AppDelegate::setShortcut;
    m_settings = std::make_unique<SettingsModel>(std::move(settings));
}

AppDelegate::~AppDelegate() {
    if (sharedDelegate == this) {
        sharedDelegate = nullptr;
        GlobalShortcut::shared().setAction({});
    }
    m_closing.reset();
    m_popover.reset();
    delete m_settingsWindow;
    delete m_updateWindow;
}

void AppDelegate::didFinishLaunching() {
    sharedDelegate = this;
    m_tray = new TrayIcon(m_services.scheduler, m_services.now, this);
    connect(m_tray, &TrayIcon::clicked, this, &AppDelegate::togglePopover);
    // The icon first: the popover takes a while to build, and the tray shows the icon
    // meanwhile.
    m_services.scheduler->singleShot(0, this, [this] {
        // Before the popover, whose menu offers a check only when there is an updater.
        if (!checkMode)
            makeUpdater();
        buildPopover();
        m_tray->setMenu(m_menu->action(MenuItem::settings),
                        m_updater ? m_menu->action(MenuItem::checkForUpdates) : nullptr,
                        m_menu->action(MenuItem::quit));
        if (!checkMode) {
            GlobalShortcut::shared().setAction([self = QPointer(this)] {
                if (self)
                    self->hotKeyPressed();
            });
            GlobalShortcut::shared().registerSaved();
            if (m_shell.registerScheme)
                m_shell.registerScheme(this);
            BrowserIntegration::production().install();
            launchRoads();
        }
        Q_EMIT launched();
    });
}

void AppDelegate::buildPopover() {
    m_selectionHelp = makeSelectionHelp();
    m_views.openSettings = m_menu->action(MenuItem::settings);
    m_views.quit = m_menu->action(MenuItem::quit);
    m_views.checkForUpdates = m_updater ? m_menu->action(MenuItem::checkForUpdates) : nullptr;
    m_views.selectionHelp = m_selectionHelp.get();
    m_views.shortcutText = [] { return shortcut().display(); };
    m_views.shortcutProblem = [] { return GlobalShortcut::shared().popoverProblem(); };
    m_views.watchShortcut = &GlobalShortcut::watch;

    m_popover = std::make_unique<PopoverWindow>(*m_model, m_views);
    connect(m_popover.get(), &PopoverWindow::shown, this, &AppDelegate::popoverDidShow);
    connect(m_popover.get(), &PopoverWindow::closedByWindowManager, this, [this] {
        if (m_closing->isWatching())
            popoverDidClose();
    });
    m_closing = std::make_unique<PopoverClosing>(
        *m_popover, *m_model, [this] { return closePopover(); },
        [this](const QString& line) { note(line); });
    m_menu->install(m_popover.get());
}

void AppDelegate::makeUpdater() {
    m_updater = m_shell.makeUpdater ? m_shell.makeUpdater() : nullptr;
    if (!m_updater)
        return;
    // A found release, and the outcome of a check the user asked for, in a window of its own
    // that nothing waits on.
    connect(m_updater.get(), &Updater::noticed, this, [this](const UpdateNotice& notice) {
        if (!m_updateWindow)
            m_updateWindow = new UpdateWindow([this](const UpdateNotice& found) {
                if (m_updater)
                    m_updater->openDownload(found);
            });
        m_updateWindow->setNotice(notice);
        m_updateWindow->show();
        m_updateWindow->raise();
        Activation::requestFront(m_updateWindow->windowHandle());
    });
}

void AppDelegate::checkForUpdates() {
    if (m_updater)
        m_updater->checkForUpdates();
}

void AppDelegate::launchRoads() {
    const auto defaults = Paths::standardDefaults();
    const auto welcome = [this] {
        if (!m_shell.selectionReadable())
            m_model->setNeedsAccessibility(true);
    };
    if (!defaults->value(u"launchedBefore"_s).toBool()) {
        defaults->setValue(u"launchedBefore"_s, true);
        m_shell.loginItem().registerItem();
        welcome();
        m_services.scheduler->singleShot(firstShowMilliseconds, this, [this] { showPopover(); });
        return;
    }
    if (defaults->value(u"carriedOverFromPreviousName"_s).toBool() &&
        !defaults->value(u"carryOverWelcomed"_s).toBool()) {
        defaults->setValue(u"carryOverWelcomed"_s, true);
        welcome();
        if (!quiet)
            m_services.scheduler->singleShot(firstShowMilliseconds, this,
                                             [this] { showPopover(); });
        return;
    }
    // Started at login with no tray to show the icon in: nothing on screen tells Tivela is
    // there, so the desktop's notifications do, once in a session.
    connect(m_tray, &TrayIcon::missing, this, [this] {
        // Standard error says it each time, once the desktop was told or not.
        whenFinished(this,
                     DesktopNotice::showOncePerSession(u"noTray"_s, Wording::noTrayTitle(),
                                                       Wording::noTrayNotice(shortcut().display())),
                     [](const QFuture<bool>&) {
                         std::fprintf(stderr, "%s\n", qPrintable(Wording::noTray()));
                     });
    });
    m_tray->lookForTray();
}

QWidget* AppDelegate::popover() const {
    return m_popover.get();
}

PopoverView* AppDelegate::popoverView() const {
    return m_popover ? m_popover->view() : nullptr;
}

QSystemTrayIcon* AppDelegate::statusItem() const {
    return m_tray ? m_tray->item() : nullptr;
}

bool AppDelegate::isPopoverShown() const {
    return m_popover && m_popover->isShown();
}

void AppDelegate::showPopover() {
    if (!m_popover)
        return;
    if (!isPopoverShown() && m_tray->waitForDock([this] { showPopover(); }))
        return;
    GlobalShortcut::shared().retry();
    m_popover->present(isPopoverShown() ? std::nullopt : m_tray->anchor());
}

void AppDelegate::togglePopover() {
    if (isPopoverShown()) {
        closePopover();
        return;
    }
    if (m_closing->closedJustNow())
        return;
    showPopover();
}

bool AppDelegate::closePopover() {
    if (!isPopoverShown() || !shouldClose())
        return false;
    m_popover->dismiss();
    popoverDidClose();
    return true;
}

bool AppDelegate::shouldClose() const {
    return m_closing->mayClose(m_closingByCommand);
}

TransientPolicy::Context AppDelegate::closeContext() const {
    return m_closing->context();
}

void AppDelegate::resignedActive() {
    m_closing->resignedActive();
}

void AppDelegate::appActivated(qint64 pid, const QString& name) {
    m_closing->appActivated(pid, name);
}

void AppDelegate::popoverDidShow() {
    m_closing->start();
}

void AppDelegate::popoverDidClose() {
    note(u"window closed"_s);
    m_closing->stop();
    if (m_views.speaker)
        m_views.speaker->stop();
    keepSettingsInFront();
}

void AppDelegate::note(const QString& line) const {
    if (checkMode)
        trace.append(line);
}

void AppDelegate::hotKeyPressed() {
    if (popoverInFront()) {
        closePopover();
        return;
    }
    // Presses while the selection is read ask for the same read.
    if (m_readingSelection)
        return;
    m_readingSelection = true;
    whenFinished(this, m_shell.selectedText(shortcut()),
                 [this](const QFuture<std::optional<QString>>& future) {
                     m_readingSelection = false;
                     const QString text =
                         future.resultCount() > 0 ? future.result().value_or(QString()) : QString();
                     if (!m_shell.selectionReadable())
                         m_model->setNeedsAccessibility(true);
                     showPopover();
                     if (!text.trimmed().isEmpty())
                         m_model->show(text.trimmed());
                 });
}

bool AppDelegate::popoverInFront() const {
    if (!isPopoverShown() || QGuiApplication::applicationState() != Qt::ApplicationActive)
        return false;
    // Qt keeps the application active for a while after another window took the focus, so a
    // press just after a click elsewhere would close the popover instead of reading the new
    // selection: the window manager's front window decides.
    if (QGuiApplication::platformName() != u"xcb")
        return true;
    const auto front = Activation::frontmost();
    return !front || front->pid == QCoreApplication::applicationPid();
}

void AppDelegate::openSettings() {
    note(u"open settings"_s);
    if (!m_settingsWindow) {
        m_settingsWindow =
            new SettingsView(*m_model, *m_settings, m_updater.get(), m_views, versionString());
        m_menu->install(m_settingsWindow);
        WindowFit::fit(*m_settingsWindow, {SettingsView::width, SettingsView::height}, true);
    } else if (!m_settingsWindow->isVisible()) {
        // The screens may have changed since it was last shown.
        WindowFit::fit(*m_settingsWindow, {SettingsView::width, SettingsView::height}, false);
    }
    GlobalShortcut::shared().retry();
    m_settings->refresh();
    m_settingsWindow->show();
    m_settingsWindow->raise();
    Activation::requestFront(m_settingsWindow->windowHandle());
    m_settingsOpenedAt = m_services.now();
    if (!m_model->pinned())
        closePopover();
}

SettingsView* AppDelegate::settingsWindow() const {
    return m_settingsWindow;
}

void AppDelegate::keepSettingsInFront() {
    if (!m_settingsOpenedAt || !m_settingsWindow)
        return;
    if (m_services.now() - *m_settingsOpenedAt >= settingsFrontSeconds ||
        !m_settingsWindow->isVisible())
        return;
    m_settingsOpenedAt.reset();
    m_services.scheduler->singleShot(0, this, [this] { bringSettingsForward(); });
    m_services.scheduler->singleShot(settingsAgainMilliseconds, this,
                                     [this] { bringSettingsForward(); });
}

void AppDelegate::bringSettingsForward() {
    if (!m_settingsWindow || !m_settingsWindow->isVisible())
        return;
    if (QGuiApplication::applicationState() == Qt::ApplicationActive &&
        QApplication::activeWindow() == m_settingsWindow)
        return;
    note(u"settings brought forward"_s);
    m_settingsWindow->raise();
    Activation::requestFront(m_settingsWindow->windowHandle());
}

void AppDelegate::activate() {
    showPopover();
}

void AppDelegate::openUrls(const QStringList& urls) {
    for (const QString& url : urls) {
        if (!url.startsWith(u"tivela:"))
            continue;
        const QUrlQuery query(QUrl(url).query(QUrl::FullyEncoded));
        const std::optional<QString> host = rawHost(url);
        if (host == u"settings") {
            openSettings();
            continue;
        }
        showPopover();
        if (host == u"translate") {
            // "cut": the browser's host already cut the text to what a URL can carry.
            if (const auto text = queryValue(query, u"text"_s))
                m_model->show(*text, queryValue(query, u"cut"_s).has_value());
        } else if (host == u"download") {
            const auto from = queryValue(query, u"from"_s);
            const auto to = queryValue(query, u"to"_s);
            if (from && to)
                m_model->setDownloadRequest(AppModel::DownloadRequest{*from, *to});
        }
    }
}

void AppDelegate::translate(const QString& text) {
    showPopover();
    m_model->show(text);
}

QFuture<std::optional<QString>> AppDelegate::translateReplace(const QString& text,
                                                              QDeadlineTimer deadline) {
    return m_replace->translateReplace(text, deadline);
}

void AppDelegate::showAbout() {
    auto* box = new QMessageBox(QMessageBox::NoIcon, u"About Tivela"_s,
                                u"Tivela\nVersion "_s + versionString());
    box->setIconPixmap(BrandArt::menuBarImage().pixmap(64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
    Activation::requestFront(box->windowHandle());
}

void AppDelegate::closeKeyWindow() {
    QWidget* key = QApplication::activeWindow();
    if (!key)
        return;
    if (key == m_popover.get()) {
        m_closingByCommand = true;
        closePopover();
        m_closingByCommand = false;
        return;
    }
    if (key->windowFlags() & Qt::WindowCloseButtonHint)
        key->close();
}

void AppDelegate::quit() {
    if (KeyCheck::catchQuit) {
        KeyCheck::quitAsked = true;
        return;
    }
    QCoreApplication::exit(0);
}

void AppDelegate::paste() {
    note(u"paste fallback"_s);
    m_model->focusInput();
    if (QObject* input = m_model->inputView())
        QMetaObject::invokeMethod(input, "paste");
}

void AppDelegate::selectAll() {
    m_model->focusInput();
    if (QObject* input = m_model->inputView())
        QMetaObject::invokeMethod(input, "selectAll");
}

bool AppDelegate::isEnabled(MenuItem item) const {
    const QWidget* key = QApplication::activeWindow();
    const bool inputReady =
        key == m_popover.get() && m_model->tab() == Tab::translate && m_model->inputView();
    switch (item) {
    case MenuItem::checkForUpdates:
        return m_updater != nullptr;
    case MenuItem::close:
        return key &&
               (key == m_popover.get() || key->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    case MenuItem::paste:
        return inputReady && m_model->clipboardHasText();
    case MenuItem::selectAll:
        return inputReady;
    default:
        return true;
    }
}

} // namespace tivela
