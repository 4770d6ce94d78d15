#include "app/AppDelegate.h"

#include "app/AppModel.h"
#include "app/BrandArt.h"
#include "app/BrowserIntegration.h"
#include "app/InputEditor.h"
#include "app/ReplaceService.h"
#include "app/Updater.h"
#include "app/Wording.h"
#include "app/checks/CheckWorkspace.h"
#include "app/checks/KeyCheck.h"
#include "app/views/EnginePrompt.h"
#include "app/views/PopoverView.h"
#include "app/views/SettingsModel.h"
#include "app/views/SettingsView.h"
#include "app/views/UpdateWindow.h"
#include "core/Futures.h"
#include "core/IncomingText.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Speaker.h"
#include "core/Store.h"
#include "core/Translator.h"
#include "platform/desktop/SchemeHandler.h"
#include "platform/x11/Activation.h"
#include "platform/x11/HotKeyCenter.h"
#include "platform/x11/OutsideWatcher.h"
#include "platform/x11/SelectionReader.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPromise>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QToolTip>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

AppDelegate* sharedDelegate = nullptr;
// Between the tray icon and the popover.
constexpr int anchorGap = 4;

// The popover's window: frameless, on top, off the taskbar (a tool window), fixed in size.
// A close the window manager asks for (Alt+F4) is never refused: Qt 6.4's quit gives up
// when a window refuses; the delegate is told afterwards.
class PopoverWindow : public QWidget {
public:
    std::function<void()> closedByWindowManager;

    PopoverWindow()
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
        setWindowTitle(u"Tivela"_s);
        setFixedSize(AppDelegate::popoverWidth, AppDelegate::popoverHeight);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (closedByWindowManager)
                    closedByWindowManager();
            },
            Qt::QueuedConnection);
    }
};

// A query item's value by the first item of the name; an empty value counts as none.
std::optional<QString> queryValue(const QUrlQuery& query, const QString& name) {
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded))
        if (key == name)
            return value.isEmpty() ? std::nullopt : std::optional(value);
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
    const QVariant stored = Paths::standardDefaults()->value(u"shortcut"_s);
    const QByteArray json = stored.typeId() == QMetaType::QByteArray ? stored.toByteArray()
                                                                     : stored.toString().toUtf8();
    const QJsonDocument document = QJsonDocument::fromJson(json);
    // One written by hand, or carried over from the earlier name, may break the recorder's
    // rule: without a modifier it would take a plain letter from every program.
    const std::optional<Shortcut> saved = fromJson<Shortcut>(document.object());
    return saved && saved->isRecordable() ? *saved : Shortcut::defaultShortcut();
}

void AppDelegate::setShortcut(const Shortcut& shortcut) {
    Paths::standardDefaults()->setValue(
        u"shortcut"_s,
        QString::fromUtf8(QJsonDocument(toJson(shortcut)).toJson(QJsonDocument::Compact)));
    HotKeyCenter::shared().registerShortcut(shortcut);
    Paths::defaults()->setValue(u"shortcutDisplay"_s, AppDelegate::shortcut().display());
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

QRect AppDelegate::popoverFrame(const std::optional<QRect>& anchor, const QRect& available) {
    QRect frame(0, 0, popoverWidth, popoverHeight);
    if (!anchor) {
        frame.moveCenter(available.center());
    } else {
        frame.moveLeft(anchor->center().x() - popoverWidth / 2);
        const int below = anchor->bottom() + 1 + anchorGap;
        const int above = anchor->top() - anchorGap - popoverHeight;
        frame.moveTop(below + popoverHeight <= available.bottom() + 1 || above < available.top()
                          ? below
                          : above);
    }
    frame.moveLeft(std::clamp(frame.left(), available.left(),
                              std::max(available.left(), available.right() + 1 - popoverWidth)));
    frame.moveTop(std::clamp(frame.top(), available.top(),
                             std::max(available.top(), available.bottom() + 1 - popoverHeight)));
    return frame;
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
    , m_menu(std::make_unique<MainMenu>(u"Tivela"_s, this))
    , m_watcher(std::make_unique<OutsideWatcher>()) {
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

    connect(m_watcher.get(), &OutsideWatcher::buttonPressed, this, [this] { outsideMouse(true); });
    connect(m_watcher.get(), &OutsideWatcher::buttonReleased, this,
            [this] { outsideMouse(false); });
    // Leaving the front needs having had it. The focus an earlier close lost is told late (Qt
    // waits before it tells a focus out; the window manager hands the front on after the
    // close), and a popover shown again meanwhile must not take that for its own.
    connect(m_watcher.get(), &OutsideWatcher::activeWindowChanged, this,
            [this](quint32 window, qint64 pid, const QString& name) {
                if (m_popover && window == quint32(m_popover->winId()))
                    m_activeWhileShown = true;
                else if (m_activeWhileShown)
                    appActivated(pid, name);
            });
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (m_watching && window && window == m_popover->windowHandle())
            m_activeWhileShown = true;
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (m_watching && m_activeWhileShown && state != Qt::ApplicationActive) {
                    m_activeWhileShown = false;
                    resignedActive();
                }
            });
}

AppDelegate::~AppDelegate() {
    stopWatchingOutside();
    if (sharedDelegate == this) {
        sharedDelegate = nullptr;
        HotKeyCenter::shared().setAction({});
    }
    delete m_popover;
    delete m_settingsWindow;
    delete m_updateWindow;
}

void AppDelegate::didFinishLaunching() {
    sharedDelegate = this;
    makeStatusItem();
    // The icon first: the popover takes a while to build, and the tray shows the icon
    // meanwhile.
    m_services.scheduler->singleShot(0, this, [this] {
        // Before the popover, whose menu offers a check only when there is an updater.
        if (!checkMode)
            makeUpdater();
        buildPopover();
        makeTrayMenu();
        if (!checkMode) {
            HotKeyCenter::shared().setAction([self = QPointer(this)] {
                if (self)
                    self->hotKeyPressed();
            });
            HotKeyCenter::shared().registerShortcut(shortcut());
            Paths::defaults()->setValue(u"shortcutDisplay"_s, shortcut().display());
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

    auto* window = new PopoverWindow;
    window->closedByWindowManager = [this] {
        if (m_watching)
            popoverDidClose();
    };
    m_popover = window;
    // Hidden as the keyboard left and shown again before Qt let go of it (it waits 400 ms for
    // the keyboard to come back), the popover's window is still Qt's focus window, and the
    // keyboard's return changes nothing Qt reports: the widgets would never learn their window
    // is active again (its keys and caret dead), nor the watcher that it had the keyboard
    // (switching away would leave it open).
    m_popover->winId();
    Activation::onKeyboardIn(m_popover->windowHandle(), m_popover, [this] {
        if (!isPopoverShown() || QGuiApplication::focusWindow() != m_popover->windowHandle())
            return;
        // The keyboard on the shown popover is the front it must have had before leaving it
        // closes it, also when Qt never noticed it had gone.
        m_activeWhileShown = m_watching;
        if (QApplication::activeWindow() == m_popover)
            return;
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(m_popover);
        QT_WARNING_POP
    });
    auto* layout = new QVBoxLayout(m_popover);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new PopoverView(*m_model, m_views, m_popover);
    layout->addWidget(m_view);
    m_menu->install(m_popover);
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

void AppDelegate::makeStatusItem() {
    m_trayMadeAt = m_services.now();
    m_tray = new QSystemTrayIcon(BrandArt::menuBarImage(), this);
    m_tray->setToolTip(u"Tivela"_s);
    // A right click shows the application's commands, as Linux trays do; the tray shows the
    // menu itself. Hosts that only send "activate" leave them to the popover's More menu.
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    togglePopover();
            });
    // Shown even without a tray: Qt puts the icon in one that starts later.
    if (QSystemTrayIcon::isSystemTrayAvailable() || QGuiApplication::platformName() == u"xcb")
        m_tray->show();
}

void AppDelegate::makeTrayMenu() {
    m_trayMenu = std::make_unique<QMenu>();
    m_trayMenu->addAction(m_menu->action(MenuItem::settings));
    if (m_updater)
        m_trayMenu->addAction(m_menu->action(MenuItem::checkForUpdates));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_menu->action(MenuItem::quit));
    m_tray->setContextMenu(m_trayMenu.get());
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
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        std::fprintf(stderr, "%s\n", qPrintable(Wording::noTray()));
}

bool AppDelegate::isPopoverShown() const {
    return m_popover && m_popover->isVisible();
}

// An XEmbed tray docks the icon a moment after it is made; until then the icon reports the
// screen's corner. A popover asked for meanwhile (a tivela: link that started Tivela) waits for
// the icon's place, a while at most, and is centred when the icon never gets one.
bool AppDelegate::waitForTrayIcon() {
    if (!m_tray || !m_tray->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable() ||
        m_tray->geometry().isEmpty() || m_tray->geometry().topLeft() != QPoint(0, 0))
        return false;
    if (m_services.now() - m_trayMadeAt >= trayDockSeconds)
        return false;
    if (!m_waitingForTray) {
        m_waitingForTray = true;
        m_services.scheduler->singleShot(trayPollMilliseconds, this, [this] {
            m_waitingForTray = false;
            showPopover();
        });
    }
    return true;
}

void AppDelegate::showPopover() {
    if (!m_popover)
        return;
    if (!isPopoverShown()) {
        if (waitForTrayIcon())
            return;
        // Decided at each show: a tray may have come or gone. A StatusNotifierItem host tells no
        // geometry; the click was where the pointer is. Wayland tells neither.
        std::optional<QRect> anchor;
        const bool placeable = !QGuiApplication::platformName().startsWith(u"wayland");
        if (placeable && m_tray && m_tray->isVisible() &&
            QSystemTrayIcon::isSystemTrayAvailable()) {
            // Right after the wait, an icon still at the corner has no place: the popover is
            // centred. Long after, the corner is where the tray put it.
            const QRect icon = m_tray->geometry();
            const bool docked = icon.topLeft() != QPoint(0, 0) ||
                                m_services.now() - m_trayMadeAt >= 2 * trayDockSeconds;
            if (icon.isEmpty())
                anchor = QRect(QCursor::pos(), QSize(1, 1));
            else if (docked)
                anchor = icon;
        }
        QScreen* screen = anchor ? QGuiApplication::screenAt(anchor->center()) : nullptr;
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        m_popover->setGeometry(popoverFrame(anchor, screen->availableGeometry()));
        m_popover->winId();
        Activation::keepOffTaskbar(m_popover->windowHandle());
        m_popover->show();
        popoverDidShow();
    }
    m_popover->raise();
    Activation::requestFront(m_popover->windowHandle());
    m_model->focusInput();
    m_model->refreshClipboard();
}

void AppDelegate::togglePopover() {
    if (isPopoverShown()) {
        closePopover();
        return;
    }
    if (m_outsideClosedAt && m_services.now() - *m_outsideClosedAt < trayRaceSeconds)
        return;
    showPopover();
}

bool AppDelegate::closePopover() {
    if (!isPopoverShown() || !shouldClose())
        return false;
    m_popover->hide();
    popoverDidClose();
    return true;
}

bool AppDelegate::shouldClose() const {
    if (!m_closingByCommand && m_model->pinned())
        return false;
    return !closeContext().sheetUp;
}

TransientPolicy::Context AppDelegate::closeContext() const {
    bool sheetUp = QApplication::activeModalWidget() != nullptr;
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    sheetUp = sheetUp || std::any_of(windows.cbegin(), windows.cend(), [](QWidget* window) {
                  return window->isVisible() && qobject_cast<QFileDialog*>(window);
              });
    sheetUp = sheetUp || (m_view && m_view->prompt().isRunning()) ||
              m_model->downloadRequest().has_value();
    return {isPopoverShown(), m_model->pinned(), sheetUp};
}

void AppDelegate::popoverDidShow() {
    watchOutside();
    const quint64 run = ++m_clipboardRun;
    m_services.scheduler->singleShot(clipboardMilliseconds, this,
                                     [this, run] { tickClipboard(run); });
}

void AppDelegate::popoverDidClose() {
    note(u"window closed"_s);
    stopWatchingOutside();
    m_policy = TransientPolicy{};
    if (m_views.speaker)
        m_views.speaker->stop();
    ++m_clipboardRun;
    keepSettingsInFront();
}

void AppDelegate::tickClipboard(quint64 run) {
    if (run != m_clipboardRun || !isPopoverShown())
        return;
    m_model->refreshClipboard();
    m_services.scheduler->singleShot(clipboardMilliseconds, this,
                                     [this, run] { tickClipboard(run); });
}

void AppDelegate::watchOutside() {
    stopWatchingOutside();
    m_watcher->start();
    qApp->installEventFilter(this);
    m_watching = true;
    m_activeWhileShown = false;
}

void AppDelegate::stopWatchingOutside() {
    if (!m_watching)
        return;
    m_watcher->stop();
    qApp->removeEventFilter(this);
    m_watching = false;
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    // One of the popover's own dialogs closed: the window manager may hand the keyboard to
    // some other window for a moment; the popover takes it back and stays.
    if (event->type() == QEvent::Hide) {
        const auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog && dialog->isWindow() && dialog->parentWidget() &&
            dialog->parentWidget()->window() == m_popover) {
            m_dialogClosedAt = m_services.now();
            m_services.scheduler->singleShot(0, this, [this] {
                if (!isPopoverShown())
                    return;
                m_popover->raise();
                Activation::requestFront(m_popover->windowHandle());
            });
        }
    }
    // A key reaches the window first, then its focus widget: the window's turn is the one.
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        if (auto* window = qobject_cast<QWindow*>(watched))
            return escape(window);
    }
    return QObject::eventFilter(watched, event);
}

bool AppDelegate::pointerInPopover() const {
    if (QApplication::activePopupWidget() || QApplication::activeModalWidget() ||
        QToolTip::isVisible())
        return true;
    return isPopoverShown() && m_popover->frameGeometry().contains(QCursor::pos());
}

void AppDelegate::outsideMouse(bool down) {
    const TransientPolicy::Context context = closeContext();
    const bool inside = pointerInPopover();
    if (down) {
        // Raw presses come from everywhere; only those outside count.
        if (!inside)
            m_policy.pressedOutside(context);
        return;
    }
    if (m_policy.released(inside, context) == TransientPolicy::Action::close)
        closeFromOutside();
}

bool AppDelegate::escape(QWindow* window) {
    const QWindow* ours = m_popover ? m_popover->windowHandle() : nullptr;
    const TransientPolicy::Context context = closeContext();
    note(u"esc: "_s +
         (window ? QString::fromLatin1(window->metaObject()->className()) : u"no window"_s) +
         u", ours "_s + (window == ours ? u"true"_s : u"false"_s) + u", "_s + describe(context));
    if (!ours || window != ours)
        return false;
    auto* editor = qobject_cast<InputEditor*>(m_model->inputView());
    const bool composing = editor && editor->isComposing();
    if (m_policy.escape(composing, context) != TransientPolicy::Action::close)
        return false;
    closePopover();
    return true;
}

bool AppDelegate::dialogJustClosed() const {
    return m_dialogClosedAt && m_services.now() - *m_dialogClosedAt < dialogReturnSeconds;
}

void AppDelegate::resignedActive() {
    note(u"resigned active"_s);
    if (dialogJustClosed())
        return;
    const bool held = m_watcher->isWatching() ? m_watcher->buttonHeld()
                                              : QGuiApplication::mouseButtons() != Qt::NoButton;
    if (m_policy.otherAppActivated(held, closeContext()) == TransientPolicy::Action::close)
        closeFromOutside();
}

void AppDelegate::appActivated(qint64 pid, const QString& name) {
    if (pid == QCoreApplication::applicationPid())
        return;
    note(u"activated: "_s + (name.isEmpty() ? u"?"_s : name) + u' ' + QString::number(pid));
    if (dialogJustClosed())
        return;
    const bool held = m_watcher->isWatching() && m_watcher->buttonHeld();
    if (m_policy.otherAppActivated(held, closeContext()) == TransientPolicy::Action::close)
        closeFromOutside();
}

void AppDelegate::closeFromOutside() {
    if (closePopover())
        m_outsideClosedAt = m_services.now();
}

QString AppDelegate::describe(const TransientPolicy::Context& context) const {
    const auto flag = [](bool value) { return value ? u"true"_s : u"false"_s; };
    return u"Context(shown: "_s + flag(context.shown) + u", pinned: "_s + flag(context.pinned) +
           u", sheetUp: "_s + flag(context.sheetUp) + u')';
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
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = m_settingsWindow->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_settingsWindow->move(frame.topLeft());
        }
    }
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
    if (key == m_popover) {
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
        key == m_popover && m_model->tab() == Tab::translate && m_model->inputView();
    switch (item) {
    case MenuItem::checkForUpdates:
        return m_updater != nullptr;
    case MenuItem::close:
        return key && (key == m_popover || key->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    case MenuItem::paste:
        return inputReady && m_model->clipboardHasText();
    case MenuItem::selectAll:
        return inputReady;
    default:
        return true;
    }
}

} // namespace tivela
