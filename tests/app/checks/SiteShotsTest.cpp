// The site shots as they are made: the staged program with the real engine, with packs from a
// loopback server or with none, so the word has no card; and three runs at once.
#include "core/Paths.h"
#include "support/CheckBundle.h"
#include "support/QtPrinters.h"
#include "support/ShotChecks.h"
#include "support/TestWorld.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

struct SiteCase {
    const char* name;
    bool packs;
    // Runs into the same folder at once.
    int runs;
};

class SiteShotsTest : public ::testing::TestWithParam<SiteCase> {};

TEST_P(SiteShotsTest, TheStagedProgramWritesTheSetWithTheCardWhenThereIsOne) {
    const SiteCase& c = GetParam();
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    QDir(Paths::lexicon()).removeRecursively();
    if (!c.packs) {
        // No pack server: "mountain" has no card.
        ASSERT_TRUE(bundle.setInfo(u"TivelaLexiconURL"_s, QJsonValue::Undefined));
    }
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    const QByteArray settings = readFile(Paths::defaultsFile());
    const QString temporary = World::root() + u"/tmp"_s;
    const QString out = World::root() + u"/site-"_s + QLatin1StringView(c.name);

    std::vector<std::unique_ptr<QProcess>> runs;
    for (int i = 0; i < c.runs; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->setProcessEnvironment(renderEnvironment(temporary));
        runs.back()->start(bundle.program(), {u"--render-site-shots"_s, out});
    }
    for (const auto& process : runs) {
        const ProcessResult run = finish(*process, 240000);
        ASSERT_TRUE(run.finished) << run.err.toStdString();
        // Without packs the card could not be drawn: it is named, and the run fails.
        EXPECT_EQ(run.exitCode, c.packs ? 0 : 1) << run.err.toStdString();
        EXPECT_EQ(run.err.contains("tivela: site-mac-card not drawn: no dictionary pack of en, es "
                                   "(no pack source configured)\n"),
                  !c.packs)
            << run.err.toStdString();
    }

    std::map<QString, QSize> shots{{u"site-mac-word"_s, {420, 600}},
                                   {u"site-mac-sentence"_s, {420, 600}},
                                   {u"site-mac-phrasebook"_s, {420, 600}},
                                   {u"site-mac-cards"_s, {420, 600}}};
    if (c.packs)
        shots[u"site-mac-card"_s] = {420, 640};
    QStringList expected = shotFiles(shots);
    expected.sort();
    EXPECT_EQ(filesIn(out), expected);
    EXPECT_EQ(shotProblems(out, shots), QStringList());
    EXPECT_EQ(readFile(Paths::defaultsFile()), settings);
    EXPECT_EQ(filesIn(temporary).filter(u"tivela-"_s), QStringList());
}

// Runs at once each keep a workspace of their own, and a picture replaces another of its name
// only when it is whole.
INSTANTIATE_TEST_SUITE_P(Packs, SiteShotsTest,
                         ::testing::Values(SiteCase{"threeAtOnceWithPacks", true, 3},
                                           SiteCase{"withoutPacks", false, 1}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });
