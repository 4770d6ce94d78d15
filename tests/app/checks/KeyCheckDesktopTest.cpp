// The keyboard check as a person starts it on their desktop: it runs on a display of its own,
// and the person's clipboard, files and processes are as they were afterwards.
#include "app/AppDelegate.h"
#include "app/checks/CheckShell.h"
#include "app/checks/KeyCheck.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "platform/x11/PrivateDesktop.h"
#include "platform/x11/XConnection.h"
#include "platform/x11/XSelection.h"
#include "support/CheckBundle.h"
#include "support/Processes.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"
#include "support/x11/FakeXApp.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

TEST(KeyCheckDesktopTest, EveryRecordPassesAndThePersonsClipboardAndFilesStay) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    FakeXApp person;
    person.own("CLIPBOARD", {{"UTF8_STRING", "the person's text"}});
    person.own("PRIMARY", {{"UTF8_STRING", "the person's selection"}});
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    {
        Store store(Paths::database());
        store.addPhrase(Item{u"1"_s, u"a"_s, u"b"_s, u"en"_s, u"es"_s});
    }
    const auto before = World::personFiles(Paths::lexicon());
    const QString temporary = World::root() + u"/tmp-keys"_s;
    QDir().mkpath(temporary);

    // Started on this display as on the person's: not marked as a private one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QString::fromLatin1(PrivateDesktop::markerVariable));
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.insert(u"TMPDIR"_s, temporary);
    ProcessResult run;
    const QJsonObject report = bundle.check(u"--check-keys"_s, environment, &run, 170000);
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(CheckBundle::failures(report), QJsonObject());
    EXPECT_EQ(report.value(u"total"_s), 43);
    const QJsonArray results = report.value(u"results"_s).toArray();
    EXPECT_TRUE(results.last()[u"detail"_s].toString().endsWith(
        u"the person's CLIPBOARD and PRIMARY as they were"_s))
        << results.last()[u"detail"_s].toString().toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    XConnection probe;
    const xcb_atom_t clipboard = probe.atom("CLIPBOARD");
    EXPECT_EQ(XSelection::owner(probe, clipboard), xcb_window_t(person.window()));
    EXPECT_EQ(XSelection::read(probe, clipboard, probe.atom("UTF8_STRING"), QDeadlineTimer(3000)),
              QByteArray("the person's text"));
    EXPECT_EQ(XSelection::owner(probe, probe.atom("PRIMARY")), xcb_window_t(person.window()));
    EXPECT_EQ(World::personFiles(Paths::lexicon()), before);
    EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(runningFrom(bundle.root()), QStringList());
}

namespace {

// Takes every Tab and every context menu before a widget sees them: fields without a menu,
// and a Tab lost on its way.
class Thief : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ContextMenu)
            return true;
        return (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
               (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab ||
                static_cast<QKeyEvent*>(event)->key() == Qt::Key_Backtab);
    }
};

} // namespace

// Fields whose right-click opens no menu and whose Tab is lost on the way: the checks of those
// fail, and only those.
TEST(KeyCheckScriptTest, AFieldWithoutAMenuAndALostTabFailTheirChecks) {
    CheckShell shell(LanguagePair{u"en"_s, u"es"_s});
    ASSERT_TRUE(QCoro::waitFor(shell.launch(800)));
    QTemporaryDir folder;
    KeyCheck run(folder.filePath(u"report.json"_s), 240s, {});
    KeyCheck::Script script(run, shell, {}, QString());
    ASSERT_TRUE(QCoro::waitFor(script.start()));
    Thief thief;
    qApp->installEventFilter(&thief);
    QCoro::waitFor(script.focus());
    QCoro::waitFor(script.search());
    qApp->removeEventFilter(&thief);
    QCoro::waitFor(script.handBack());

    QStringList failed;
    for (const CheckResult& result : run.results())
        if (!result.ok)
            failed << result.check;
    EXPECT_EQ(failed, (QStringList{u"input: Tab moves the focus, types no tab"_s,
                                   u"input: right-click gives Cut, Copy, Paste"_s,
                                   u"History search: right-click gives Cut, Copy, Paste"_s,
                                   u"History: Tab leaves the search field, Shift+Tab comes back"_s,
                                   u"Phrasebook search: right-click gives Cut, Copy, Paste"_s}));
    EXPECT_EQ(run.results().size(), 22);
    AppDelegate::checkMode = false;
}

// A shell that never launches is a failed record of its own: the report does not pass on the
// closing check alone.
TEST(KeyCheckScriptTest, AShellThatDoesNotLaunchFailsTheRun) {
    CheckShell shell(LanguagePair{u"en"_s, u"es"_s});
    QTemporaryDir folder;
    KeyCheck run(folder.filePath(u"report.json"_s), 240s, {});
    // No time at all: the popover comes a turn of the loop after the launch.
    QCoro::waitFor(KeyCheck::steps(run, shell, 0, {}, QString()));
    run.check(u"the app's clipboard was a private one"_s, true, QString());

    ASSERT_EQ(run.results().size(), 2);
    EXPECT_EQ(run.results().first().check, u"window opens"_s);
    EXPECT_FALSE(run.results().first().ok);
    EXPECT_EQ(run.finish(), 1);
    AppDelegate::checkMode = false;
}
