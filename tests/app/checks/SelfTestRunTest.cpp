// The self-test as CI runs it: the staged program in a bundle of the test's own, against the
// real engine, recogniser, store and speech, with packs from a loopback server, or with no pack
// source at all, when every check that reads a pack fails saying so and nothing waits for them.
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "support/CheckBundle.h"
#include "support/PackFiles.h"
#include "support/Processes.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

struct RunCase {
    const char* name;
    bool packSource;
    int total;
};

class SelfTestRunTest : public ::testing::TestWithParam<RunCase> {};

// The card check's own wait, from its detail " (N ms)".
int cardWait(const QJsonObject& report) {
    for (const QJsonValue& result : report.value(u"results"_s).toArray())
        if (result[u"check"_s] == u"card: definitions in my language"_s) {
            const auto match =
                QRegularExpression(u"\\((\\d+) ms\\)$"_s).match(result[u"detail"_s].toString());
            return match.hasMatch() ? match.captured(1).toInt() : 0;
        }
    return -1;
}

} // namespace

TEST_P(SelfTestRunTest, TheStagedProgramChecksEverythingAndLeavesNothingBehind) {
    const RunCase& c = GetParam();
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    if (!c.packSource) {
        ASSERT_TRUE(bundle.setInfo(u"TivelaLexiconURL"_s, QJsonValue::Undefined));
    }
    QDir(Paths::lexicon()).removeRecursively();
    // A German pack an earlier run left, whose card tells it from the one the host must fetch
    // and wait for.
    ASSERT_TRUE(writeFile(
        Paths::lexicon() + u'/' + Lexicon::fileName(u"de"_s),
        gzip(packText({{u"whund"_s, uR"({"e":[["noun","","",[["hound",[],[]]]]]})"_s}}))));
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
    EXPECT_EQ(report.value(u"total"_s), c.total);
    EXPECT_EQ(report.value(u"app"_s), u"1.2.3 (45)"_s);
    if (c.packSource) {
        EXPECT_EQ(CheckBundle::failures(report), QJsonObject());
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    } else {
        const QString none = u"no pack source configured"_s;
        EXPECT_EQ(CheckBundle::failures(report),
                  (QJsonObject{
                      {u"dictionary: packs on disk"_s, none},
                      {u"dictionary: run en→ru"_s, none},
                      {u"dictionary: inflection ran → run"_s, none},
                      {u"dictionary: собаки ru→en (form of собака)"_s, none},
                      {u"dictionary: lookup speed"_s, none},
                      {u"card: definitions in my language"_s, none},
                      {u"bridge: a card in a new language (its pack fetched quietly)"_s, none}}));
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    }
    EXPECT_LT(cardWait(report), 30000);

    EXPECT_EQ(readFile(Paths::defaultsFile()), settings);
    EXPECT_EQ(QDir(temporary).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(runningFrom(bundle.root()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Packs, SelfTestRunTest,
                         ::testing::Values(RunCase{"fromALoopbackServer", true, 40},
                                           RunCase{"withoutAPackSource", false, 39}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });
