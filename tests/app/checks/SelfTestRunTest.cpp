// The self-test as CI runs it: the staged program in a bundle of the test's own, against the
// real engine, recogniser, store and speech, with packs from a loopback server.
#include "core/Paths.h"
#include "support/CheckBundle.h"
#include "support/PackFiles.h"
#include "support/Processes.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

TEST(SelfTestRunTest, TheStagedProgramPassesEveryCheckAndLeavesNothingBehind) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    QDir(Paths::lexicon()).removeRecursively();
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    const QByteArray settings = readFile(Paths::defaultsFile());
    const QString temporary = World::root() + u"/tmp"_s;
    QDir().mkpath(temporary);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TMPDIR"_s, temporary);
    environment.remove(u"DISPLAY"_s);
    ProcessResult run;
    const QJsonObject report = bundle.selfTest(environment, &run);
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(CheckBundle::failures(report), QJsonObject());
    EXPECT_EQ(report.value(u"total"_s), 40);
    EXPECT_EQ(report.value(u"app"_s), u"1.2.3 (45)"_s);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    EXPECT_EQ(readFile(Paths::defaultsFile()), settings);
    EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(runningFrom(bundle.root()), QStringList());
}
