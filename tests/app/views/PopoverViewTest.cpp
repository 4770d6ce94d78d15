#include "app/views/PopoverView.h"
#include "app/views/CardsView.h"
#include "app/views/EnginePrompt.h"
#include "platform/desktop/PackageInstaller.h"
#include "platform/x11/PrivateDesktop.h"
#include "support/FakeDesktop.h"
#include "support/ViewRig.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

class PopoverViewTest : public ::testing::Test, public test::ViewRig {
protected:
    void addPhrases(int count, double due, const QString& prefix = u"phrase"_s) {
        for (int i = 0; i < count; ++i)
            store.addPhrase({u"%1-%2"_s.arg(prefix).arg(i), u"%1 %2"_s.arg(prefix).arg(i),
                             u"translation"_s, u"en"_s, u"es"_s, time->now(), 0, due, u"mac"_s});
        model->setPhraseSearch(model->phraseSearch());
    }

    QStringList menuTexts(const PopoverView& popover) {
        QStringList texts;
        for (const QAction* action : popover.moreMenu()->actions())
            texts << (action->isSeparator() ? u"-"_s : action->text());
        return texts;
    }

    QAbstractButton* tabButton(PopoverView& popover, const QString& title) {
        for (auto* button : popover.findChildren<QAbstractButton*>())
            if (button->text() == title)
                return button;
        return nullptr;
    }
};

} // namespace

TEST_F(PopoverViewTest, TheCardsButtonCountsDueCardsAsTheSearchLetsThemThrough) {
    AppModel& app = make();
    PopoverView popover(app, services);
    popover.show();
    EXPECT_EQ(popover.badge(), 0);

    addPhrases(1, 0);
    EXPECT_EQ(popover.badge(), 1);
    addPhrases(119, time->now() - 60, u"older"_s);
    EXPECT_EQ(popover.badge(), 120);
    // Cards due later count once their time comes, with nothing else happening.
    addPhrases(2, time->now() + 90, u"later"_s);
    EXPECT_EQ(popover.badge(), 120);
    time->advance(89'000);
    EXPECT_EQ(popover.badge(), 120);
    time->advance(2'000);
    EXPECT_EQ(popover.badge(), 122);
    // The phrasebook's search narrows the count too.
    app.setPhraseSearch(u"later"_s);
    EXPECT_EQ(popover.badge(), 2);

    // Only the cards button draws a badge: the accent's fill shows nowhere else in the bar
    // (in the dark, where it differs from the accent of the selected tab).
    popover.setPalette(Theme::palette(true));
    const QImage image = test::render(popover, 2).convertToFormat(QImage::Format_ARGB32);
    const QRgb fill = Theme::accentFill(popover.palette()).rgb();
    QList<QString> filled;
    for (const QString& title : {u"Translate"_s, u"History"_s, u"Phrasebook"_s, u"Cards"_s}) {
        const QRect area = tabButton(popover, title)
                               ->geometry()
                               .translated(tabButton(popover, title)->parentWidget()->pos());
        bool found = false;
        for (int y = area.top() * 2; y < area.bottom() * 2 && !found; ++y)
            for (int x = area.left() * 2; x < area.right() * 2 && !found; ++x)
                found = image.pixel(x, y) == fill;
        if (found)
            filled << title;
    }
    EXPECT_EQ(filled, QList<QString>{u"Cards"_s});
}

// The cards tab says what its badge says while it shows an empty state: a card that fell due
// while the tab was on screen, or while the popover was closed, is shown; the tab is not redrawn
// on a timer of its own. A card on screen stays, its answer shown, until it is answered or
// removed: not for a newer card that falls due (the due list is newest first), one saved
// meanwhile, or the popover closing and opening again.
TEST_F(PopoverViewTest, TheCardsTabFollowsItsBadgeUntilACardIsOnScreen) {
    AppModel& app = make();
    addPhrases(1, time->now() + 60, u"soon"_s);
    app.setTab(Tab::cards);
    PopoverView popover(app, services);
    popover.show();
    auto* cards = qobject_cast<CardsView*>(popover.tabView());
    ASSERT_TRUE(cards);
    ASSERT_TRUE(cards->emptyState());
    EXPECT_EQ(cards->emptyState()->title(), u"All done for today"_s);

    time->advance(61'000);
    EXPECT_EQ(popover.badge(), 1);
    ASSERT_TRUE(cards->card());
    EXPECT_EQ(cards->card()->text, u"soon 0"_s);
    EXPECT_EQ(cards->statusLine(), u"1 due"_s);

    // Answered "Again" it comes back a minute later, while the popover is closed.
    cards->showAnswerButton()->click();
    cards->againButton()->click();
    EXPECT_FALSE(cards->card());
    popover.hide();
    time->advance(61'000);
    EXPECT_EQ(popover.badge(), 1);
    popover.show();
    ASSERT_TRUE(cards->card());
    EXPECT_EQ(cards->card()->text, u"soon 0"_s);

    cards->showAnswerButton()->click();
    const auto studied = [cards] {
        return cards->card() && cards->card()->text == u"soon 0"_s && cards->revealed();
    };
    time->advance(1'000);
    addPhrases(1, time->now() + 60, u"again"_s);
    time->advance(61'000);
    EXPECT_EQ(popover.badge(), 2);
    EXPECT_EQ(cards->statusLine(), u"2 due"_s);
    EXPECT_TRUE(studied());
    time->advance(1'000);
    addPhrases(1, 0, u"saved"_s);
    EXPECT_TRUE(studied());
    popover.hide();
    popover.show();
    EXPECT_TRUE(studied());

    // Answered, it gives way to the first due card, the newest; removed, to the next.
    cards->gotItButton()->click();
    ASSERT_TRUE(cards->card());
    EXPECT_EQ(cards->card()->text, u"saved 0"_s);
    EXPECT_FALSE(cards->revealed());
    store.deletePhrase(u"saved-0"_s);
    app.reloadPhrases();
    ASSERT_TRUE(cards->card());
    EXPECT_EQ(cards->card()->text, u"again 0"_s);
}

TEST_F(PopoverViewTest, TabButtonsSelectTheirTabAndThePhrasebookStarFillsWhileSelected) {
    AppModel& app = make();
    PopoverView popover(app, services);
    popover.show();
    QWidget* translate = popover.tabView();
    EXPECT_EQ(popover.tabSymbol(Tab::phrasebook), u"star"_s);

    QTest::mouseClick(tabButton(popover, u"Phrasebook"_s), Qt::LeftButton);
    EXPECT_EQ(app.tab(), Tab::phrasebook);
    EXPECT_EQ(popover.tabSymbol(Tab::phrasebook), u"star.fill"_s);
    // The old view goes once its events are over; a new one stands in its place.
    EXPECT_NE(popover.tabView(), translate);
    QPointer<QWidget> old = translate;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());

    app.setTab(Tab::cards);
    EXPECT_EQ(popover.tabSymbol(Tab::phrasebook), u"star"_s);
    EXPECT_EQ(popover.tabSymbol(Tab::history), u"clock.arrow.circlepath"_s);
}

TEST_F(PopoverViewTest, TheMoreMenuHoldsTheShellsActionsAndPinsTheWindow) {
    AppModel& app = make();
    {
        // Without the shell's actions the popover makes its own, with their keys.
        PopoverView popover(app, services);
        EXPECT_EQ(menuTexts(popover),
                  (QStringList{u"Settings\u2026"_s, u"-"_s, u"Keep Window Open"_s, u"-"_s,
                               u"Quit Tivela"_s}));
        const QList<QAction*> actions = popover.moreMenu()->actions();
        EXPECT_EQ(actions.first()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        EXPECT_EQ(actions.last()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        EXPECT_TRUE(popover.actions().contains(actions.last()));

        actions[2]->trigger();
        EXPECT_TRUE(app.pinned());
        EXPECT_EQ(actions[2]->text(), u"Unpin Window"_s);
        actions[2]->trigger();
        EXPECT_FALSE(app.pinned());
        EXPECT_EQ(actions[2]->text(), u"Keep Window Open"_s);
    }

    // The shell's actions, and the update check only when there is one; none of the
    // popover's own, whose keys would clash with the shell's.
    QAction settings(u"Settings\u2026"_s);
    QAction quit(u"Quit Tivela"_s);
    QAction updates(u"Check for Updates\u2026"_s);
    services.openSettings = &settings;
    services.quit = &quit;
    services.checkForUpdates = &updates;
    app.setPinned(true);
    PopoverView popover(app, services);
    EXPECT_EQ(menuTexts(popover),
              (QStringList{u"Settings\u2026"_s, u"Check for Updates\u2026"_s, u"-"_s,
                           u"Unpin Window"_s, u"-"_s, u"Quit Tivela"_s}));
    EXPECT_EQ(popover.moreMenu()->actions().first(), &settings);
    EXPECT_EQ(popover.moreMenu()->actions().last(), &quit);
    EXPECT_TRUE(popover.actions().isEmpty());
}

// Like the tab buttons, the More button wears a ring while the keyboard is on it.
TEST_F(PopoverViewTest, TheMoreButtonShowsWhenTheKeyboardIsOnIt) {
    AppModel& app = make();
    PopoverView popover(app, services);
    popover.show();
    popover.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&popover));
    QAbstractButton* more = nullptr;
    for (auto* button : popover.findChildren<QAbstractButton*>())
        if (button->toolTip() == u"More")
            more = button;
    ASSERT_TRUE(more);
    const auto look = [&] {
        QImage image(more->size() * 2, QImage::Format_ARGB32);
        image.setDevicePixelRatio(2);
        image.fill(popover.palette().color(QPalette::Window));
        more->render(&image, {}, {}, QWidget::DrawChildren);
        return image;
    };
    const QImage unfocused = look();
    more->setFocus(Qt::TabFocusReason);
    const QImage focused = look();
    int changed = 0;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            changed += focused.pixel(x, y) != unfocused.pixel(x, y);
    EXPECT_GT(changed, 100);
}

TEST_F(PopoverViewTest, KeysWithNoFocusedWidgetReachTheTabsView) {
    AppModel& app = make();
    app.setTab(Tab::cards);
    PopoverView popover(app, services);
    popover.show();
    QStringList keys;
    struct Recorder : QObject {
        QStringList* keys;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::KeyPress)
                *keys << static_cast<QKeyEvent*>(event)->text();
            return false;
        }
    } recorder;
    recorder.keys = &keys;
    popover.tabView()->installEventFilter(&recorder);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, u" "_s);
    QCoreApplication::sendEvent(&popover, &space);
    QKeyEvent two(QEvent::KeyPress, Qt::Key_2, Qt::NoModifier, u"2"_s);
    QCoreApplication::sendEvent(&popover, &two);
    EXPECT_EQ(keys, (QStringList{u" "_s, u"2"_s}));
}

// The view that goes had the focus: a click on a tab hands it into the new view, not to the
// first tab button (whose focus ring it would light); a tab chosen by keyboard keeps it.
TEST_F(PopoverViewTest, TheFocusOfTheViewThatGoesMovesIntoTheNewView) {
    AppModel& app = make();
    PopoverView popover(app, services);
    popover.show();
    popover.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&popover));
    for (const QString& title : {u"History"_s, u"Phrasebook"_s, u"Cards"_s}) {
        SCOPED_TRACE(title.toStdString());
        app.setTab(Tab::translate);
        app.focusInput();
        ASSERT_TRUE(popover.tabView()->isAncestorOf(QApplication::focusWidget()));
        QTest::mouseClick(tabButton(popover, title), Qt::LeftButton);
        EXPECT_TRUE(popover.tabView()->isAncestorOf(QApplication::focusWidget()));
    }
    app.setTab(Tab::translate);
    QAbstractButton* history = tabButton(popover, u"History"_s);
    history->setFocus(Qt::TabFocusReason);
    QTest::keyClick(history, Qt::Key_Space);
    EXPECT_EQ(app.tab(), Tab::history);
    EXPECT_EQ(QApplication::focusWidget(), history);
}

// A tab switched from inside the tab's own event handler goes only once the event is over.
TEST_F(PopoverViewTest, ATabSwitchedInsideItsOwnHandlerOutlivesTheHandler) {
    AppModel& app = make();
    PopoverView popover(app, services);
    popover.show();
    popover.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&popover));
    QObject::connect(&app, &AppModel::inputChanged, &popover, [&app] { app.setTab(Tab::history); });
    QWidget* translate = popover.tabView();
    QTest::keyClick(popover.windowHandle(), Qt::Key_A, {}, 10);
    EXPECT_EQ(app.input(), u"a"_s);
    EXPECT_EQ(app.tab(), Tab::history);
    EXPECT_NE(popover.tabView(), translate);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The popover in both palettes at twice the resolution, in the states the translate tab
// shows; with TIVELA_TEST_SHOTS set, the images are kept there to be looked at.
TEST_F(PopoverViewTest, RendersInBothPalettesAtTwiceTheResolution) {
    AppModel& app = make();
    addPhrases(3, 0);
    PopoverView popover(app, services);
    popover.show();
    const QString shots = qEnvironmentVariable("TIVELA_TEST_SHOTS");
    const auto shoot = [&](const QString& name) {
        for (const bool dark : {false, true}) {
            popover.setPalette(Theme::palette(dark));
            const QImage image = test::render(popover, 2);
            EXPECT_EQ(image.size(), QSize(840, 1200));
            EXPECT_EQ(image.pixelColor(4, 4), popover.palette().color(QPalette::Window));
            if (!shots.isEmpty())
                image.save(
                    u"%1/popover-%2-%3.png"_s.arg(shots, name, dark ? u"dark"_s : u"light"_s));
        }
    };
    shoot(u"empty"_s);
    app.setInput(u"The weather is lovely today, so we are going for a walk by the sea."_s);
    run(220);
    shoot(u"translation"_s);
    app.setProblem(AppModel::Problem::failed(u"engine"_s));
    shoot(u"problem"_s);
    app.setInput(u"Bonjour"_s);
    app.setProblem(AppModel::Problem::notInstalled(u"fr"_s, u"en"_s));
    app.setNeedsAccessibility(true);
    shoot(u"install"_s);
    app.setStoreNotice(u"Tivela\u2019s database was damaged and a new one was started; the old "
                       "one is kept beside it as \u201Ctivela-damaged-2026-12-09-171920.sqlite"
                       "\u201D."_s);
    shoot(u"store-notice"_s);
    app.setStoreNotice(std::nullopt);
    app.setNeedsAccessibility(false);
    // A megabyte handed over: cut, and said so.
    app.show(u"QmFzZTY0IGlzIGEgZ3JvdXAgb2Yg"_s.repeated(40000));
    run();
    shoot(u"cut"_s);
}

// The line stays until the person has had the popover open with it; then it goes.
TEST_F(PopoverViewTest, TheStoreNoticeIsOneLineAboveTheBarUntilThePopoverGoes) {
    AppModel& app = make();
    PopoverView popover(app, services);
    popover.show();
    EXPECT_EQ(popover.notice(), QString());
    const QString line =
        u"Tivela couldn\u2019t save \u201Cdog\u201D to the phrasebook: the disk is full."_s;
    app.setStoreNotice(line);
    EXPECT_EQ(popover.notice(), line);
    popover.hide();
    EXPECT_EQ(app.storeNotice(), std::nullopt);
    popover.show();
    EXPECT_EQ(popover.notice(), QString());

    // Told while the popover is away, it waits to be seen.
    popover.hide();
    app.setStoreNotice(line);
    popover.show();
    EXPECT_EQ(popover.notice(), line);
    popover.hide();
    EXPECT_EQ(app.storeNotice(), std::nullopt);
}

namespace {

// The prompt on the test's own session bus, with PackageKit faked in a helper process.
class EnginePromptTest : public PopoverViewTest {
protected:
    // A bus of the test's own, before anything in the process uses the session bus.
    static void SetUpTestSuite() {
        bus = new PrivateDesktop;
        if (bus->start({.display = false, .tray = false, .bus = true}))
            bus->enter();
    }
    static void TearDownTestSuite() { delete std::exchange(bus, nullptr); }

    EnginePromptTest() {
        services.enginePackage = [this](const QString& from, const QString& to) {
            return packages.value(from + u'>' + to);
        };
        services.installer =
            std::make_shared<PackageInstaller>(QDBusConnection::sessionBus(), bound);
    }

    PopoverView& shown() {
        make();
        model->setInput(u"Bonjour"_s);
        run(220);
        popover = std::make_unique<PopoverView>(*model, services);
        popover->show();
        return *popover;
    }
    void request(const QString& from, const QString& to) {
        model->setDownloadRequest(AppModel::DownloadRequest{from, to});
    }
    // Waits for the prompt to end: the request cleared and the input translated again.
    bool ended(int translationsBefore) {
        return test::waitUntil([&] {
            time->advance(0);
            return !model->downloadRequest() && !popover->prompt().isRunning() &&
                   engine->translations() > translationsBefore;
        });
    }
    void settle() {
        test::waitUntil([] { return false; }, 200);
    }

    static inline PrivateDesktop* bus = nullptr;
    int bound = 60'000;
    QHash<QString, QString> packages{{u"en>fr"_s, u"apertium-eng-fra"_s},
                                     {u"fr>en"_s, u"cancel:apertium-fra-eng"_s},
                                     {u"de>es"_s, u"hold:b"_s},
                                     {u"en>de"_s, u"hold:a"_s}};
    std::unique_ptr<PopoverView> popover;
};

} // namespace

TEST_F(EnginePromptTest, AnyAnswerOfTheInstallerEndsThePromptAndTranslatesAgain) {
    ASSERT_FALSE(bus->busAddress().isEmpty()) << bus->error().toStdString();
    test::FakeDesktop desktop({u"packagekit"_s});
    ASSERT_TRUE(desktop.isRunning());
    shown();
    for (const auto& [from, to] : {std::pair{u"en"_s, u"fr"_s}, {u"fr"_s, u"en"_s}}) {
        const int translations = engine->translations();
        request(from, to);
        EXPECT_TRUE(popover->prompt().isRunning());
        EXPECT_TRUE(ended(translations)) << from.toStdString();
    }
    EXPECT_EQ(desktop.installs(),
              (QStringList{u"0 apertium-eng-fra"_s, u"0 cancel:apertium-fra-eng"_s}));
}

TEST_F(EnginePromptTest, OnlyTheLatestPairsPromptEndsIt) {
    test::FakeDesktop desktop({u"packagekit"_s});
    shown();
    request(u"en"_s, u"de"_s);
    ASSERT_TRUE(test::waitUntil([&] { return desktop.installs().size() == 1; }));
    // The same pair again is no new prompt; a request changing both codes is one.
    request(u"en"_s, u"de"_s);
    request(u"de"_s, u"es"_s);
    settle();
    EXPECT_EQ(desktop.installs(), (QStringList{u"0 hold:a"_s, u"0 hold:b"_s}));

    // The superseded prompt's answer leaves the newer request alone.
    desktop.release(u"hold:a"_s);
    settle();
    ASSERT_TRUE(model->downloadRequest());
    EXPECT_EQ(model->downloadRequest()->from, u"de"_s);
    EXPECT_TRUE(popover->prompt().isRunning());
    const int translations = engine->translations();
    desktop.release(u"hold:b"_s);
    EXPECT_TRUE(ended(translations));

    // Asked again after that, the same pair prompts again.
    request(u"de"_s, u"es"_s);
    ASSERT_TRUE(test::waitUntil([&] { return desktop.installs().size() == 3; }));
    desktop.release(u"hold:b"_s);
    EXPECT_TRUE(ended(translations + 1));
}

TEST_F(EnginePromptTest, ARequestWaitsForTheFirstShowAndEndsWithoutPackageOrAnswer) {
    test::FakeDesktop desktop({u"packagekit"_s});
    bound = 300;
    services.installer = std::make_shared<PackageInstaller>(QDBusConnection::sessionBus(), bound);
    make();
    popover = std::make_unique<PopoverView>(*model, services);
    request(u"en"_s, u"fr"_s);
    settle();
    EXPECT_TRUE(desktop.installs().isEmpty());
    popover->show();
    EXPECT_TRUE(ended(engine->translations() - 1));
    EXPECT_EQ(desktop.installs(), QStringList{u"0 apertium-eng-fra"_s});

    // No package brings the pair: over at once, nothing asked.
    request(u"es"_s, u"de"_s);
    EXPECT_TRUE(ended(engine->translations() - 1));
    EXPECT_EQ(desktop.installs().size(), 1);

    // An installer that never answers is given up after the bound.
    request(u"en"_s, u"de"_s);
    EXPECT_TRUE(ended(engine->translations() - 1));
    EXPECT_EQ(desktop.installs().size(), 2);
}

// A pair the engine has, though a package brings it, and a pair no package brings: a note says
// so, the installer is not asked, and the translation goes on without waiting for the note.
TEST_F(EnginePromptTest, AnInstalledPairOrOneWithoutAPackageIsToldAndHoldsNothing) {
    test::FakeDesktop desktop({u"packagekit"_s});
    packages.insert(u"en>es"_s, u"apertium-eng-spa"_s);
    services.pairStatus = [this](const QString& from, const QString& to) {
        return translator.status(from, to, false);
    };
    shown();
    struct Case {
        QString from;
        QString to;
        QString note;
    };
    for (const Case& c :
         {Case{u"en"_s, u"es"_s,
               u"Translation from English to Spanish is installed on this computer: there is "
               u"nothing to install."_s},
          Case{u"es"_s, u"fr"_s,
               u"Apertium, the engine Tivela translates with, has no package for translation "
               u"from Spanish to French."_s}}) {
        SCOPED_TRACE(c.from.toStdString());
        const int translations = engine->translations();
        request(c.from, c.to);
        EXPECT_TRUE(ended(translations));
        QMessageBox* note = popover->prompt().message();
        ASSERT_TRUE(note);
        EXPECT_TRUE(note->isVisible());
        EXPECT_EQ(note->windowModality(), Qt::NonModal);
        EXPECT_EQ(note->text(), c.note);
        note->close();
    }
    settle();
    EXPECT_TRUE(desktop.installs().isEmpty());
}

TEST_F(EnginePromptTest, WithoutAnInstallerTheCommandIsShownUntilClosed) {
    // No PackageKit on the bus; then no bus at all.
    for (const bool connected : {true, false}) {
        if (!connected)
            services.installer =
                std::make_shared<PackageInstaller>(QDBusConnection(u"nowhere"_s), bound);
        shown();
        const int translations = engine->translations();
        request(u"en"_s, u"fr"_s);
        ASSERT_TRUE(test::waitUntil([&] { return popover->prompt().message(); }));
        QMessageBox* message = popover->prompt().message();
        EXPECT_TRUE(message->isVisible());
        EXPECT_EQ(message->informativeText(), u"sudo apt install apertium-eng-fra"_s);
        EXPECT_TRUE(message->textInteractionFlags() & Qt::TextSelectableByMouse);
        settle();
        EXPECT_TRUE(model->downloadRequest());
        message->close();
        EXPECT_TRUE(ended(translations)) << connected;
    }
}
