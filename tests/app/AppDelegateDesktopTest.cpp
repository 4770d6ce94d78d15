// The delegate on a private desktop, with the window manager and the tray a person has: what
// keeps the popover open, and where its dialogs start.
#include "app/AppDelegate.h"
#include "app/AppModel.h"
#include "app/GlobalShortcut.h"
#include "app/views/PhrasebookView.h"
#include "app/views/PopoverView.h"
#include "app/views/SettingsModel.h"
#include "platform/x11/Activation.h"
#include "platform/x11/HotKeyCenter.h"
#include "support/TestWorld.h"
#include "support/ViewRig.h"
#include "support/x11/FakeXApp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int slow = 10000;

class AppDelegateDesktopTest : public ::testing::Test {
protected:
    AppDelegateDesktopTest() {
        Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
        shell.selectedText = [this](const Shortcut&) {
            return QtFuture::makeReadyFuture(selection);
        };
        shell.selectionReadable = [] { return true; };
        shell.loginItem = [] { return LoginItem(QString(), QString()); };
        AppServices services = rig.appServices();
        // The closing rules wait on the real clock here: the window manager does.
        const AppServices real = AppServices::production(rig.store, rig.lexicon);
        services.scheduler = real.scheduler;
        services.now = real.now;
        delegate = std::make_unique<AppDelegate>(services, rig.services, shell);
        delegate->didFinishLaunching();
        QTest::qWait(0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return delegate->popover() != nullptr; }));
    }
    ~AppDelegateDesktopTest() override {
        delegate.reset();
        AppDelegate::checkMode = false;
        AppDelegate::trace.clear();
        HotKeyCenter::shared().unregister();
    }

    ViewRig rig;
    std::optional<QString> selection;
    ShellServices shell;
    std::unique_ptr<AppDelegate> delegate;
};

} // namespace

// The save dialog of "Export as CSV…" is the popover's own: the popover stays open while it is
// up and after it closes, whichever way; it starts in the Documents folder, else at home.
TEST_F(AppDelegateDesktopTest, ThePopoverOutlivesItsOwnExportDialog) {
    rig.store.addPhrase({u"id-cat"_s, u"cat"_s, u"gato"_s, u"en"_s, u"es"_s, 0, 0, 0, u"mac"_s});
    delegate->model().reloadPhrases();
    delegate->model().setTab(Tab::phrasebook);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir(documents).removeRecursively();

    // Another program's window under the popover, where the window manager may put the front.
    FakeXApp other;
    ASSERT_TRUE(other.activate());
    AppDelegate::checkMode = true;
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "save" : "cancel");
        AppDelegate::trace.clear();
        delegate->showPopover();
        ASSERT_TRUE(QTest::qWaitForWindowActive(delegate->popover()));
        auto* phrasebook = qobject_cast<PhrasebookView*>(delegate->popoverView()->tabView());
        ASSERT_TRUE(phrasebook);
        phrasebook->exportCSV();
        QFileDialog* dialog = phrasebook->exportDialog();
        ASSERT_TRUE(dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        EXPECT_EQ(QDir(dialog->directory()).absolutePath(),
                  QDir(save ? documents : QDir::homePath()).absolutePath());
        if (save)
            static_cast<QDialog*>(dialog)->accept();
        else
            dialog->reject();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog || !dialog->isVisible(); }, slow));
        QTest::qWait(1000);
        EXPECT_TRUE(delegate->isPopoverShown()) << AppDelegate::trace.join(u" / "_s).toStdString();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return QApplication::activeWindow() == delegate->popover(); }, slow));
        QDir().mkpath(documents);
    }
    EXPECT_TRUE(QFile::exists(documents + u"/Phrasebook.csv"_s));
}

// A person who clicks into another program and presses the shortcut at once wants its
// selection, even while Qt still counts the application as active.
TEST_F(AppDelegateDesktopTest, TheShortcutJustAfterLeavingThePopoverReadsTheNewSelection) {
    selection = u"the cat"_s;
    FakeXApp other;
    delegate->model().setPinned(true);
    delegate->showPopover();
    ASSERT_TRUE(QTest::qWaitForWindowActive(delegate->popover()));

    ASSERT_TRUE(other.activate());
    delegate->hotKeyPressed();
    QTest::qWait(0);
    EXPECT_TRUE(delegate->isPopoverShown());
    EXPECT_EQ(delegate->model().input(), u"the cat"_s);
}

// The popover closed by another program taking the front, or by a command, and opened again at
// once, before Qt has given up the keyboard it lost: it is the key window again with its input
// focused (its keys, Ctrl+W and Ctrl+, among them, and the caret work), and switching away
// closes it again (the next round's start).
TEST_F(AppDelegateDesktopTest, ReopenedRightAfterAnotherProgramTookTheFrontItIsTheKeyWindow) {
    FakeXApp other;
    AppDelegate::checkMode = true;
    // What the window manager says, not what Qt believes.
    const auto inFront = [&] {
        const auto front = Activation::frontmost();
        return front && front->window == quint32(delegate->popover()->winId());
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        delegate->showPopover();
        ASSERT_TRUE(QTest::qWaitFor(inFront, slow));
        ASSERT_TRUE(other.activate());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !delegate->isPopoverShown(); }, slow))
            << AppDelegate::trace.join(u" / "_s).toStdString();
        auto* input = qobject_cast<QWidget*>(delegate->model().inputView());
        ASSERT_TRUE(input);
        const auto keyWithInput = [&] {
            return QGuiApplication::focusWindow() == delegate->popover()->windowHandle() &&
                   QApplication::activeWindow() == delegate->popover() && input->hasFocus();
        };
        // A loaded window manager may still carry out a move of the front to the other
        // program after the popover took it, which closes the popover as it should; the
        // person's next press then opens it again.
        bool reopened = false;
        for (int attempt = 0; attempt < 3 && !reopened; ++attempt) {
            delegate->showPopover();
            reopened = QTest::qWaitFor(
                           [&] { return keyWithInput() || !delegate->isPopoverShown(); }, slow) &&
                       keyWithInput();
        }
        EXPECT_TRUE(reopened) << "shown " << delegate->isPopoverShown() << ", the focus on "
                              << (QApplication::focusWidget()
                                      ? QApplication::focusWidget()->metaObject()->className()
                                      : "nothing");
        delegate->closePopover();
    }
}

// A shortcut another program holds at start is named in the popover with where to choose
// another, and tried again whenever the popover or the settings window opens: the other
// program may have let it go meanwhile.
TEST_F(AppDelegateDesktopTest, AShortcutHeldAtStartIsTriedAgainWhenAWindowOpens) {
    const auto hint = [&] {
        const auto* label =
            delegate->popoverView()->findChild<QLabel*>(u"tivela.shortcutProblem"_s);
        return label && label->isVisibleTo(delegate->popoverView()) ? label->text() : QString();
    };
    for (const bool settings : {false, true}) {
        SCOPED_TRACE(settings ? "settings" : "popover");
        HotKeyCenter::shared().unregister();
        KeyHolder other;
        ASSERT_TRUE(other.hold(Shortcut::defaultShortcut()));
        // The launch's registration.
        GlobalShortcut::shared().registerSaved();
        delegate->showPopover();
        EXPECT_EQ(hint(), u"Ctrl+Alt+T: In use by another application. Choose another in "
                          u"Settings."_s);
        delegate->closePopover();

        other.releaseAll();
        if (settings)
            delegate->openSettings();
        else
            delegate->showPopover();
        EXPECT_EQ(HotKeyCenter::shared().held(), Shortcut::defaultShortcut());
        EXPECT_EQ(hint(), QString());
        EXPECT_EQ(delegate->settingsModel().shortcutProblem(), QString());
        delegate->closePopover();
    }
}
