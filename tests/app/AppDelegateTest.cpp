#include "app/AppDelegate.h"
#include "app/PopoverClosing.h"
#include "app/Updater.h"
#include "app/Wording.h"
#include "app/checks/KeyCheck.h"
#include "app/views/PopoverView.h"
#include "app/views/SettingsModel.h"
#include "app/views/SettingsView.h"
#include "app/views/UpdatesSection.h"
#include "platform/desktop/PackageInstaller.h"
#include "support/TestWorld.h"
#include "support/ViewRig.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFutureWatcher>
#include <QMenu>
#include <QPromise>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

QString executable(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() {
        QFile::remove(Paths::standardDefaultsFile());
        QFile::remove(autostart);
        shell.selectedText = [this](const Shortcut&) { return selection.future(); };
        shell.selectionReadable = [this] { return readable; };
        shell.loginItem = [this] { return LoginItem(autostart, program); };
        shell.registerScheme = [this](QObject*) { ++schemeRegistrations; };
        selection.start();
    }
    ~AppDelegateTest() override {
        delegate.reset();
        AppDelegate::checkMode = false;
        AppDelegate::quiet = false;
        AppDelegate::trace.clear();
    }

    // Not the first launch unless a test says so.
    AppDelegate& launch(bool launchedBefore = true) {
        if (launchedBefore)
            Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
        delegate = std::make_unique<AppDelegate>(rig.appServices(), rig.services, shell);
        delegate->didFinishLaunching();
        rig.time->advance(0);
        return *delegate;
    }
    bool shown() const { return delegate->isPopoverShown(); }
    void show() {
        delegate->showPopover();
        ASSERT_TRUE(QTest::qWaitForWindowActive(delegate->popover()));
    }
    void pointerInside(bool inside) {
        const QRect frame = delegate->popover()->frameGeometry();
        QCursor::setPos(inside ? frame.center() : frame.topLeft() - QPoint(50, 50));
    }
    void select(const QString& text) {
        selection.addResult(std::optional(text));
        selection.finish();
        QCoreApplication::processEvents();
    }

    ViewRig rig;
    const QString autostart = World::root() + u"/config/autostart/test.desktop"_s;
    const QString program = executable(World::root() + u"/R/bin/tivela"_s);
    QPromise<std::optional<QString>> selection;
    ShellServices shell;
    bool readable = true;
    int schemeRegistrations = 0;
    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

TEST_F(AppDelegateTest, FirstLaunchRegistersAndShowsThePopoverAfterItsPause) {
    readable = false;
    launch(false);
    EXPECT_TRUE(Paths::standardDefaults()->value(u"launchedBefore"_s).toBool());
    EXPECT_EQ(LoginItem(autostart, program).status(), LoginItem::Status::enabled);
    EXPECT_TRUE(delegate->model().needsAccessibility());
    EXPECT_EQ(schemeRegistrations, 1);
    EXPECT_EQ(Paths::defaults()->value(u"shortcutDisplay"_s).toString(), u"Ctrl+Alt+T"_s);
    rig.time->advance(AppDelegate::firstShowMilliseconds - 1);
    EXPECT_FALSE(shown());
    rig.time->advance(1);
    EXPECT_TRUE(shown());
}

TEST_F(AppDelegateTest, LaterLaunchesShowNothingButTheWelcomeAfterACarryOver) {
    launch();
    rig.time->advance(5000);
    EXPECT_FALSE(shown());
    EXPECT_FALSE(delegate->model().needsAccessibility());

    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet);
        AppDelegate::quiet = quiet;
        Paths::standardDefaults()->setValue(u"carriedOverFromPreviousName"_s, true);
        Paths::standardDefaults()->remove(u"carryOverWelcomed"_s);
        launch();
        EXPECT_TRUE(Paths::standardDefaults()->value(u"carryOverWelcomed"_s).toBool());
        rig.time->advance(AppDelegate::firstShowMilliseconds);
        EXPECT_EQ(shown(), !quiet);
        // No login item on this road.
        EXPECT_FALSE(QFile::exists(autostart));
    }
}

TEST_F(AppDelegateTest, CheckModeStopsAfterThePopover) {
    AppDelegate::checkMode = true;
    Paths::defaults()->remove(u"shortcutDisplay"_s);
    launch(false);
    rig.time->advance(5000);
    EXPECT_TRUE(delegate->popover());
    EXPECT_TRUE(delegate->statusItem());
    EXPECT_FALSE(shown());
    EXPECT_EQ(schemeRegistrations, 0);
    EXPECT_FALSE(Paths::defaults()->contains(u"shortcutDisplay"_s));
    EXPECT_FALSE(Paths::standardDefaults()->contains(u"launchedBefore"_s));
}

namespace {

struct Opened {
    QStringList urls;
    bool shown;
    QString input;
    std::optional<std::pair<QString, QString>> download;
    bool settings;
};

class AppDelegateUrls : public AppDelegateTest, public ::testing::WithParamInterface<Opened> {};

} // namespace

TEST_P(AppDelegateUrls, DoWhatTheirHostSays) {
    launch();
    AppDelegate::checkMode = true;
    delegate->openUrls(GetParam().urls);
    EXPECT_EQ(shown(), GetParam().shown);
    EXPECT_EQ(delegate->model().input(), GetParam().input);
    const auto& request = delegate->model().downloadRequest();
    EXPECT_EQ(request ? std::optional(std::pair(request->from, request->to)) : std::nullopt,
              GetParam().download);
    EXPECT_EQ(AppDelegate::trace.contains(u"open settings"_s), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AppDelegateUrls,
    ::testing::Values(
        Opened{{u"tivela://translate?text=hello%20world"_s}, true, u"hello world"_s, {}, false},
        Opened{{u"tivela://translate?text=good+morning+friend"_s},
               true,
               u"good morning friend"_s,
               {},
               false},
        Opened{
            {u"tivela://translate?text=a+b%2Bc%26d%20%C3%A9"_s}, true, u"a b+c&d é"_s, {}, false},
        Opened{{u"tivela://translate"_s}, true, {}, {}, false},
        Opened{{u"tivela://translate?text="_s}, true, {}, {}, false},
        Opened{{u"tivela://translate?text"_s}, true, {}, {}, false},
        Opened{{u"tivela://download?from=de"_s}, true, {}, {}, false},
        Opened{{u"tivela://download?from=&to=en"_s}, true, {}, {}, false},
        Opened{{u"tivela://download?from=zh-TW&to=en"_s},
               true,
               {},
               std::pair(u"zh-TW"_s, u"en"_s),
               false},
        Opened{{u"tivela://settings"_s}, false, {}, {}, true},
        Opened{{u"tivela://elsewhere?text=x"_s}, true, {}, {}, false},
        Opened{{u"tivela:"_s}, true, {}, {}, false},
        // Scheme and host match as written.
        Opened{{u"TIVELA://translate?text=x"_s}, false, {}, {}, false},
        Opened{{u"tivela://Translate?text=x"_s}, true, {}, {}, false},
        Opened{{u"https://example.com/?text=x"_s}, false, {}, {}, false},
        Opened{{u"mailto:a@b.c"_s, u"tivela://translate?text=next"_s}, true, u"next"_s, {}, false},
        // The settings close the popover the translation opened.
        Opened{{u"tivela://translate?text=a"_s, u"tivela://settings"_s}, false, u"a"_s, {}, true}));

TEST_F(AppDelegateTest, APinnedPopoverClosesOnlyByTheCloseCommand) {
    launch();
    show();
    delegate->model().setPinned(true);
    pointerInside(false);
    delegate->closing().outsideMouse(true);
    delegate->closing().outsideMouse(false);
    delegate->resignedActive();
    delegate->appActivated(1, u"Other"_s);
    QTest::keyClick(delegate->popover()->windowHandle(), Qt::Key_Escape);
    delegate->togglePopover();
    EXPECT_TRUE(shown());
    QTest::keyClick(delegate->popover()->windowHandle(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(shown());
}

TEST_F(AppDelegateTest, TheTrayClickThatClosedThePopoverDoesNotReopenIt) {
    launch();
    show();
    pointerInside(false);
    delegate->closing().outsideMouse(true);
    delegate->closing().outsideMouse(false);
    ASSERT_FALSE(shown());
    rig.time->advance(250);
    delegate->togglePopover();
    EXPECT_FALSE(shown());
    rig.time->advance(100);
    delegate->togglePopover();
    EXPECT_TRUE(shown());
    delegate->togglePopover();
    EXPECT_FALSE(shown());
}

TEST_F(AppDelegateTest, TheShortcutShowsTheTrimmedSelection) {
    launch();
    // Presses while the selection is read are that same press.
    for (int i = 0; i < 10; ++i)
        delegate->hotKeyPressed();
    EXPECT_FALSE(shown());
    select(u"  dog \n"_s);
    EXPECT_TRUE(shown());
    EXPECT_EQ(delegate->model().input(), u"dog"_s);
    EXPECT_FALSE(delegate->model().needsAccessibility());

    // Shown and in front: the shortcut closes it.
    ASSERT_TRUE(QTest::qWaitForWindowActive(delegate->popover()));
    delegate->hotKeyPressed();
    EXPECT_FALSE(shown());
}

TEST_F(AppDelegateTest, ABlankOrUnreadableSelectionOnlyShows) {
    readable = false;
    launch();
    delegate->model().setInput(u"kept"_s);
    delegate->hotKeyPressed();
    select(u" \t "_s);
    EXPECT_TRUE(shown());
    EXPECT_EQ(delegate->model().input(), u"kept"_s);
    EXPECT_TRUE(delegate->model().needsAccessibility());
}

TEST_F(AppDelegateTest, MenuItemsAskTheStateOfThePopover) {
    launch();
    FakeEditor editor;
    editor.typed = [](const QString&) {};
    delegate->model().setInputView(&editor);
    rig.pasteboard->setText(u"clip"_s);
    show();
    delegate->model().refreshClipboard();
    EXPECT_TRUE(delegate->isEnabled(MenuItem::paste));
    EXPECT_TRUE(delegate->isEnabled(MenuItem::selectAll));
    EXPECT_TRUE(delegate->isEnabled(MenuItem::close));
    EXPECT_FALSE(delegate->isEnabled(MenuItem::checkForUpdates));

    rig.pasteboard->setText(std::nullopt);
    delegate->model().refreshClipboard();
    EXPECT_FALSE(delegate->isEnabled(MenuItem::paste));
    EXPECT_TRUE(delegate->isEnabled(MenuItem::selectAll));
    delegate->model().setTab(Tab::history);
    EXPECT_FALSE(delegate->isEnabled(MenuItem::selectAll));

    // Quit asks the keyboard check first.
    KeyCheck::catchQuit = true;
    delegate->quit();
    EXPECT_TRUE(KeyCheck::quitAsked);
    KeyCheck::catchQuit = false;
    KeyCheck::quitAsked = false;
}

TEST_F(AppDelegateTest, OneSettingsWindowAndUpdatesOnlyWithAnUpdater) {
    const auto menuTexts = [this] {
        QStringList texts;
        for (const QAction* action : delegate->popoverView()->moreMenu()->actions())
            texts << action->text();
        return texts;
    };
    // The tray's right click offers the application's commands; its left click toggles.
    const auto trayTexts = [this] {
        QStringList texts;
        for (const QAction* action : delegate->statusItem()->contextMenu()->actions())
            texts << (action->isSeparator() ? u"-"_s : action->text());
        return texts;
    };
    launch();
    EXPECT_EQ(delegate->updater(), nullptr);
    EXPECT_FALSE(menuTexts().contains(u"Check for Updates\u2026"_s));
    EXPECT_EQ(trayTexts(), (QStringList{u"Settings\u2026"_s, u"-"_s, u"Quit Tivela"_s}));
    Q_EMIT delegate->statusItem()->activated(QSystemTrayIcon::Context);
    EXPECT_FALSE(shown());
    Q_EMIT delegate->statusItem()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(shown());
    delegate->closePopover();
    delegate->openSettings();
    SettingsView* window = delegate->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), u"Tivela Settings"_s);
    EXPECT_EQ(window->size(), QSize(480, 640));
    EXPECT_EQ(window->updatesSection()->checksToggle(), nullptr);
    // Recording a shortcut in the window saves and registers it through the shell.
    delegate->settingsModel().saveShortcut(Shortcut{13, Shortcut::control | Shortcut::shift});
    EXPECT_EQ(AppDelegate::shortcut().display(), u"Ctrl+Shift+W"_s);
    EXPECT_EQ(Paths::defaults()->value(u"shortcutDisplay"_s).toString(), u"Ctrl+Shift+W"_s);
    window->close();
    delegate->openSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(window->isVisible());

    // With a feed: a check from the menus and the updater's section; none in the check modes.
    int made = 0;
    shell.makeUpdater = [&made] {
        ++made;
        return std::make_unique<Updater>(Updater::Preview{});
    };
    launch();
    ASSERT_NE(delegate->updater(), nullptr);
    EXPECT_TRUE(delegate->isEnabled(MenuItem::checkForUpdates));
    EXPECT_TRUE(menuTexts().contains(u"Check for Updates\u2026"_s));
    EXPECT_EQ(trayTexts(), (QStringList{u"Settings\u2026"_s, u"Check for Updates\u2026"_s, u"-"_s,
                                        u"Quit Tivela"_s}));
    delegate->openSettings();
    EXPECT_NE(delegate->settingsWindow()->updatesSection()->checksToggle(), nullptr);
    AppDelegate::checkMode = true;
    launch();
    EXPECT_EQ(delegate->updater(), nullptr);
    EXPECT_EQ(made, 1);
}

// Ctrl+W closes every window of Tivela's that has a close button, as it closes the settings
// window: the About box, the update window, the help on reading the selection and the message
// with the install command.
TEST_F(AppDelegateTest, CtrlWClosesEveryClosableWindow) {
    rig.services.enginePackage = [](const QString&, const QString&) { return u"apertium-en-fr"_s; };
    // No installer answers on a bus that is not there: the command is shown instead.
    rig.services.installer = std::make_shared<PackageInstaller>(QDBusConnection(u"none"_s));
    shell.makeUpdater = [] { return std::make_unique<Updater>(Updater::Preview{}); };
    launch();
    const auto shownTitled = [](const QString& title) -> QWidget* {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && window->windowTitle() == title)
                return window;
        return nullptr;
    };
    const auto help = AppDelegate::makeSelectionHelp();
    const std::pair<QString, std::function<void()>> windows[] = {
        {u"About Tivela"_s, [&] { delegate->showAbout(); }},
        {Wording::updateWindowTitle(), [&] { Q_EMIT delegate->updater()->noticed({}); }},
        {Wording::selectionHelpTitle(), [&] { help->trigger(); }},
        {Wording::installTitle(),
         [&] {
             show();
             delegate->model().setDownloadRequest(AppModel::DownloadRequest{u"en"_s, u"fr"_s});
         }},
    };
    for (const auto& [title, open] : windows) {
        SCOPED_TRACE(title.toStdString());
        open();
        QWidget* window = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (window = shownTitled(title)); }));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window->windowHandle(), Qt::Key_W, Qt::ControlModifier);
        EXPECT_TRUE(waitUntil([&] { return !shownTitled(title); }));
    }
}

TEST_F(AppDelegateTest, ReplaceAnswersByItsDeadlineAndRemembersOnlyWhatItAnswered) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    rig.detection->languages.insert(u"dog"_s, u"en"_s);
    rig.detection->languages.insert(u"le chien"_s, u"fr"_s);
    rig.detection->languages.insert(u"langsame Katze"_s, u"de"_s);
    launch();
    const QDeadlineTimer deadline(SingleInstance::replaceMilliseconds);
    // Its translation comes after the deadline has answered.
    rig.holdBack(u"langsame Katze"_s);
    const QFuture<std::optional<QString>> late =
        delegate->translateReplace(u"langsame Katze"_s, deadline);
    QList<QFuture<std::optional<QString>>> answers;
    QStringList texts;
    for (int i = 0; i < 50; ++i) {
        texts << (i % 3 == 0 ? u"dog"_s : i % 3 == 1 ? u"perro %1"_s.arg(i) : u"le chien"_s);
        answers << delegate->translateReplace(texts.last(), deadline);
    }
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(answers.cbegin(), answers.cend(),
                           [](const auto& answer) { return answer.isFinished(); });
    }));
    EXPECT_FALSE(late.isFinished());
    rig.time->advance(SingleInstance::replaceMilliseconds);
    ASSERT_TRUE(late.isFinished());
    EXPECT_EQ(late.result(), std::nullopt);
    rig.letGo(u"langsame Katze"_s);
    StoreWriter& writer = delegate->model().writer();
    ASSERT_TRUE(
        waitUntil([&] { return writer.pending().isEmpty() && !delegate->model().translating(); }));
    settle();

    const QList<Item> history = rig.store.history(QString(), 200);
    const auto row = [&](const QString& text) {
        return std::find_if(history.cbegin(), history.cend(),
                            [&](const Item& item) { return item.text == text; });
    };
    for (qsizetype i = 0; i < answers.size(); ++i) {
        SCOPED_TRACE(texts[i].toStdString());
        // Undetected text is the second language's; French goes home to English, which the
        // engine cannot.
        const std::optional<QString> expected = texts[i] == u"dog"        ? u"es:dog"_s
                                                : texts[i] == u"le chien" ? std::optional<QString>()
                                                                          : u"en:"_s + texts[i];
        EXPECT_EQ(answers[i].result(), expected);
        EXPECT_EQ(row(texts[i]) != history.cend(), expected.has_value());
    }
    EXPECT_EQ(row(u"langsame Katze"_s), history.cend());
    const auto dog = row(u"dog"_s);
    ASSERT_NE(dog, history.cend());
    EXPECT_EQ(std::tuple(dog->translation, dog->from, dog->to, dog->origin),
              std::tuple(u"es:dog"_s, u"en"_s, u"es"_s, u"mac"_s));
}

// The engine handing back a text it could not read, taken for the pair's language, is no
// translation: the caller gets the one message, and the history no row.
TEST_F(AppDelegateTest, ReplaceNeverAnswersTheTextItself) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    const QString german = u"Hund und Katze"_s;
    // Taken for nothing, it goes from the pair's second language, which knows none of its words.
    rig.detection->unknown.insert(german);
    rig.engine->setTranslate(u"es"_s, u"en"_s, false, [&](const QString& text) {
        return EngineResult<QString>::success(text == german ? text : u"en:"_s + text);
    });
    launch();
    QList<QFuture<std::optional<QString>>> answers;
    for (int i = 0; i < 20; ++i)
        answers << delegate->translateReplace(i % 2 ? german : u"gato"_s,
                                              QDeadlineTimer(QDeadlineTimer::Forever));
    StoreWriter& writer = delegate->model().writer();
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(answers.cbegin(), answers.cend(),
                           [](const auto& answer) { return answer.isFinished(); }) &&
               writer.pending().isEmpty();
    }));
    for (qsizetype i = 0; i < answers.size(); ++i)
        EXPECT_EQ(answers[i].result(), i % 2 ? std::nullopt : std::optional(u"en:gato"_s)) << i;
    const QList<Item> history = rig.store.history(QString(), 50);
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history.first().text, u"gato"_s);
}
