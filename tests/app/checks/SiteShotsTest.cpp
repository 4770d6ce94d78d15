// The site shots as they are made: the staged program with the real engine, with packs from a
// loopback server or with none, so the word has no card.
#include "core/Paths.h"
#include "support/CheckBundle.h"
#include "support/QtPrinters.h"
#include "support/ShotChecks.h"
#include "support/TestWorld.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

class SiteShotsTest : public ::testing::TestWithParam<bool> {};

TEST_P(SiteShotsTest, TheStagedProgramWritesTheSetWithTheCardWhenThereIsOne) {
    const bool packs = GetParam();
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    ASSERT_TRUE(bundle.isValid());
    QDir(Paths::lexicon()).removeRecursively();
    if (!packs) {
        // No pack server: "mountain" has no card.
        const QString info = bundle.root() + u"/bundle.json"_s;
        QJsonObject object = QJsonDocument::fromJson(readFile(info)).object();
        object.remove(u"TivelaLexiconURL"_s);
        ASSERT_TRUE(writeFile(info, QJsonDocument(object).toJson()));
    }
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    const QByteArray settings = readFile(Paths::defaultsFile());
    const QString temporary = World::root() + u"/tmp"_s;
    const QString out = World::root() + (packs ? u"/site"_s : u"/site-without-packs"_s);

    const ProcessResult run =
        bundle.render(u"--render-site-shots"_s, out, renderEnvironment(temporary));
    ASSERT_TRUE(run.finished) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();

    std::map<QString, QSize> shots{{u"site-mac-word"_s, {420, 600}},
                                   {u"site-mac-sentence"_s, {420, 600}},
                                   {u"site-mac-phrasebook"_s, {420, 600}},
                                   {u"site-mac-cards"_s, {420, 600}}};
    if (packs)
        shots[u"site-mac-card"_s] = {420, 640};
    QStringList expected = shotFiles(shots);
    expected.sort();
    EXPECT_EQ(filesIn(out), expected);
    EXPECT_EQ(shotProblems(out, shots), QStringList());
    EXPECT_EQ(readFile(Paths::defaultsFile()), settings);
    EXPECT_EQ(filesIn(temporary).filter(u"tivela-"_s), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Packs, SiteShotsTest, ::testing::Values(true, false),
                         [](const auto& info) {
                             return std::string(info.param ? "withPacks" : "withoutPacks");
                         });
