// The window check on a private desktop: the polling wait, the staged program's helper copies
// taking requests over the bus and handing the front around, and the whole mode.
#include "app/checks/WindowCheck.h"
#include "app/checks/CheckReport.h"
#include "app/checks/CheckShell.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "platform/x11/Activation.h"
#include "platform/x11/PrivateDesktop.h"
#include "support/CheckBundle.h"
#include "support/PackFiles.h"
#include "support/Processes.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <QCoro/QCoroTask>

#include <gtest/gtest.h>

#include <csignal>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

QString program() {
    return stageDir() + u"/bin/tivela"_s;
}

qint64 frontPid() {
    const auto front = Activation::frontmost();
    return front ? front->pid : 0;
}

void send(const QString& target, const QVariantMap& request) {
    QDBusMessage message = QDBusMessage::createSignal(
        u"/dev/quorvanta/Tivela/check"_s, Paths::bundleID() + u".check"_s, u"activate"_s);
    message << target << request;
    ASSERT_TRUE(QDBusConnection::sessionBus().send(message));
}

struct WaitCase {
    const char* name;
    int bound;
    // The condition holds from this many milliseconds after the call; -1: never.
    int trueAfter;
    int tests;
    int atLeastMs;
    int atMostMs;
};

class WaitTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitTest, TestsEvery50MillisecondsUpToItsBound) {
    const WaitCase& c = GetParam();
    bool holds = c.trueAfter == 0;
    if (c.trueAfter > 0)
        QTimer::singleShot(c.trueAfter, [&] { holds = true; });
    int tests = 0;
    QElapsedTimer clock;
    clock.start();
    QCoro::waitFor(WindowCheck::wait(c.bound, [&] {
        ++tests;
        return holds;
    }));
    const qint64 elapsed = clock.elapsed();
    EXPECT_EQ(tests, c.tests);
    EXPECT_GE(elapsed, c.atLeastMs);
    EXPECT_LE(elapsed, c.atMostMs);
    // Seen late by the wait, the condition is still there for the caller.
    if (c.trueAfter > 0) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return holds; }, c.trueAfter));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, WaitTest,
    ::testing::Values(WaitCase{"pauseOf800MakesSixteenSleeps", 800, -1, 16, 750, 1300},
                      WaitCase{"alreadyTrueCostsNothing", 1500, 0, 1, 0, 40},
                      WaitCase{"under50TestsNothing", 49, 0, 0, 0, 40},
                      WaitCase{"truncatesTheBound", 1999, -1, 39, 1850, 2600},
                      WaitCase{"theLoopRunsBetweenTests", 1500, 75, 3, 75, 400},
                      WaitCase{"trueAfterTheLastTestIsNotSeen", 149, 75, 2, 90, 400}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(HelperTest, RequestsMoveOnlyTheHelperTheyNameAndBadOnesAreIgnored) {
    auto first = QCoro::waitFor(WindowCheck::launchHelper(program()));
    auto second = QCoro::waitFor(WindowCheck::launchHelper(program()));
    ASSERT_TRUE(first && second);
    const qint64 firstPid = first->processId();
    const qint64 secondPid = second->processId();
    // Started in the background, neither took the front.
    EXPECT_NE(frontPid(), firstPid);
    EXPECT_NE(frontPid(), secondPid);

    WindowCheck::ask(*first, secondPid);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frontPid() == secondPid; }, 10000));
    WindowCheck::ask(*second, firstPid);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frontPid() == firstPid; }, 10000));

    // Addressed to nobody, a wide pid, a pid as text, no pid, the pid of a process gone: the
    // front stays, and the helper keeps listening.
    const QString firstAddress = QString::number(firstPid);
    send(u"1"_s, {{u"pid"_s, int(secondPid)}});
    send(firstAddress, {{u"pid"_s, qlonglong(secondPid)}});
    send(firstAddress, {{u"pid"_s, QString::number(secondPid)}});
    send(firstAddress, {{u"process"_s, int(secondPid)}});
    send(firstAddress, {{u"pid"_s, 0x7ffffff0}});
    QTest::qWait(600);
    EXPECT_EQ(frontPid(), firstPid);
    EXPECT_TRUE(first->state() == QProcess::Running && second->state() == QProcess::Running);
    send(QString::number(secondPid), {{u"pid"_s, int(secondPid)}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return frontPid() == secondPid; }, 10000));

    QCoro::waitFor(WindowCheck::endHelper(std::move(first)));
    QCoro::waitFor(WindowCheck::endHelper(std::move(second)));
    EXPECT_FALSE(isRunning(pid_t(firstPid)));
    EXPECT_FALSE(isRunning(pid_t(secondPid)));
}

TEST(HelperTest, OneThatCannotStartIsNothing) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(QCoro::waitFor(WindowCheck::launchHelper(u"/nonexistent/tivela"_s)), nullptr);
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST(HelperTest, DiesWithItsCaller) {
    QProcess caller;
    caller.start(u"/bin/sh"_s, {u"-c"_s, u"\"$0\" --check-helper & echo $!; wait"_s, program()});
    ASSERT_TRUE(caller.waitForReadyRead(5000));
    const pid_t helper = caller.readLine().trimmed().toInt();
    ASSERT_GT(helper, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return caller.readAll().contains("ready"); }, 10000));
    ::kill(pid_t(caller.processId()), SIGKILL);
    caller.waitForFinished(5000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !isRunning(helper); }, 10000));
}

} // namespace

TEST(WindowCheckRunTest, EveryCheckPassesAndThePersonsFilesStayAsTheyWere) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    // What the person has: a pair and a history row.
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    {
        Store store(Paths::database());
        store.addHistory(Item{u"1"_s, u"a"_s, u"b"_s, u"en"_s, u"es"_s});
    }
    // Packs the model fetches for its pair are everybody's; the rest is the person's.
    const auto before = World::personFiles(Paths::lexicon());
    const QString temporary = World::root() + u"/tmp-window"_s;
    QDir().mkpath(temporary);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TMPDIR"_s, temporary);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    ProcessResult run;
    const QJsonObject report = bundle.check(u"--check-window"_s, environment, &run, 60000);
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(CheckBundle::failures(report), QJsonObject());
    EXPECT_EQ(report.value(u"total"_s), 5);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    EXPECT_EQ(World::personFiles(Paths::lexicon()), before);
    EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(runningFrom(bundle.root()), QStringList());
}

TEST(WindowCheckRunTest, WithoutAHelperThereIsOneFailedRecord) {
    CheckShell shell;
    CheckReport report;
    QCoro::waitFor(WindowCheck::steps(shell.delegate(), report, {}, u"/nonexistent/tivela"_s));
    EXPECT_EQ(report.results(), (QList<CheckResult>{{u"another app to switch to"_s, false,
                                                     u"could not start the helper"_s}}));
    EXPECT_EQ(report.status(), 1);
}

// A helper that says it listens and never takes the front: neither the switch nor the pin can
// pass on a front that never moved.
TEST(WindowCheckRunTest, AHelperThatTakesNoFrontFailsTheSwitchAndThePin) {
    const QString lazy = World::root() + u"/lazy-helper"_s;
    ASSERT_TRUE(writeFile(lazy, "#!/bin/sh\necho ready\nexec sleep 60\n"));
    ASSERT_TRUE(QFile::setPermissions(lazy, QFile::permissions(lazy) | QFileDevice::ExeOwner));
    CheckShell shell;
    ASSERT_TRUE(QCoro::waitFor(shell.launch(800)));
    CheckReport report;
    QCoro::waitFor(WindowCheck::steps(shell.delegate(), report, {}, lazy));
    QStringList failed;
    for (const CheckResult& result : report.results())
        if (!result.ok)
            failed << result.check;
    EXPECT_EQ(failed, (QStringList{u"switching to another app closes the window"_s,
                                   u"pinned, it stays open when another app is in front"_s}));
    EXPECT_EQ(report.results().size(), 5);
}

// No display and no desktop of its own: the run says why in its one record.
TEST(WindowCheckRunTest, WithoutAnyDisplayTheDesktopsFailureIsTheRecord) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    const QString nothing = World::root() + u"/no-programs"_s;
    QDir().mkpath(nothing);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.remove(QString::fromLatin1(PrivateDesktop::markerVariable));
    environment.insert(u"PATH"_s, nothing);
    ProcessResult run;
    const QJsonObject report = bundle.check(u"--check-window"_s, environment, &run, 60000);
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(report.value(u"results"_s).toArray(),
              (QJsonArray{QJsonObject{
                  {u"check"_s, u"another app to switch to"_s},
                  {u"ok"_s, false},
                  {u"detail"_s, u"could not start the helper: Xvfb is not installed"_s}}}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(runningFrom(bundle.root()), QStringList());
}
