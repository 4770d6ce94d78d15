#include "app/checks/SelfTest.h"

#include "app/BrowserIntegration.h"
#include "app/checks/CheckWorkspace.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "core/Translator.h"
#include "support/FakeEngine.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QUrl>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

QStringList names(const CheckReport& report) {
    QStringList names;
    for (const CheckResult& result : report.results())
        names << result.check;
    return names;
}

} // namespace

TEST(SelfTestTest, AFailedTranslationIsItsOwnRecordAndTheRestStillRun) {
    auto engine = std::make_shared<FakeEngine>();
    engine->setLanguages({u"en"_s, u"es"_s, u"fr"_s});
    for (const bool fast : {false, true}) {
        engine->setStatus(u"en"_s, u"es"_s, fast, EngineStatus::installed);
        engine->setStatus(u"fr"_s, u"es"_s, fast, EngineStatus::installed);
        engine->setTranslate(u"en"_s, u"es"_s, fast, FakeEngine::answer(u"¡Buenos días!"_s));
        engine->setTranslate(u"fr"_s, u"es"_s, fast, FakeEngine::error(u"stage ended"_s));
    }
    Translator translator(engine);
    CheckReport report;
    QCoro::Task<> run = SelfTest::engineChecks(report, translator);
    ASSERT_TRUE(waitUntil([&] { return run.isReady(); }, 30000));

    EXPECT_EQ(names(report),
              (QStringList{u"translation: languages"_s, u"translation: en→es installed"_s,
                           u"translation: fast engine en→es (info)"_s,
                           u"script check catches a wrong-language answer"_s,
                           u"translation: en→es sentence"_s,
                           u"translation: fr→es (no English on either side)"_s,
                           u"translation: batch en→es keeps markup"_s}));
    const QList<CheckResult>& results = report.results();
    EXPECT_EQ(results[0].detail, u"3: en,es,fr"_s);
    EXPECT_FALSE(results[0].ok);
    EXPECT_TRUE(results[1].ok && results[3].ok && results[4].ok);
    EXPECT_TRUE(results[4].detail.toString().startsWith(u"¡Buenos días! ("_s));
    EXPECT_FALSE(results[5].ok);
    EXPECT_TRUE(results[5].detail.toString().contains(u"stage ended"_s));
    // The engine echoes the batch, tags and all.
    EXPECT_TRUE(results[6].ok) << results[6].detail.toString().toStdString();
}

TEST(SelfTestTest, StoreChecksPassOnAFreshFileAndNothingPassesWithoutOne) {
    const QString folder = World::root() + u"/store-checks"_s;
    QDir().mkpath(folder);
    CheckReport fresh;
    SelfTest::storeChecks(fresh, folder + u"/fresh.sqlite"_s);
    EXPECT_EQ(fresh.passed(), 5);
    EXPECT_EQ(fresh.results().first().detail, 1);

    // A folder where the database should be: the store cannot open it.
    CheckReport broken;
    SelfTest::storeChecks(broken, folder);
    EXPECT_EQ(broken.results().size(), 5);
    EXPECT_EQ(broken.passed(), 0);
}

TEST(SelfTestTest, TheWorkspaceLeavesThePersonsPairAndNoFilesBehind) {
    SharedSettings::setPair(LanguagePair{u"ru"_s, u"en"_s});
    Lexicon lexicon(World::root() + u"/lexicon"_s);
    QString folder;
    {
        CheckWorkspace workspace(lexicon, LanguagePair{u"es"_s, u"en"_s});
        folder = QFileInfo(workspace.filePath(u"x"_s)).path();
        workspace.model().setPair({u"de"_s, u"en"_s});
        EXPECT_EQ(workspace.model().pair(), (LanguagePair{u"de"_s, u"en"_s}));
        CheckReport report;
        SelfTest::storeChecks(report, workspace.filePath(u"store.sqlite"_s));
        workspace.store().addHistory(Item{u"1"_s, u"a"_s, u"b"_s, u"en"_s, u"es"_s});
        EXPECT_TRUE(QFile::exists(workspace.filePath(u"workspace.sqlite-wal"_s)));
    }
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"ru"_s, u"en"_s}));
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST(SelfTestTest, WithoutABrowserOrAHostProgramBothBrowserChecksFail) {
    const QString root = World::root() + u"/no-browsers"_s;
    const BrowserIntegration browsers(root + u"/config"_s, root + u"/Tivela"_s);
    CheckReport report;
    SelfTest::browserChecks(report, browsers, false);
    ASSERT_EQ(report.results().size(), 2);
    EXPECT_EQ(report.results()[0].check, u"browser: manifests written"_s);
    EXPECT_FALSE(report.results()[0].ok);
    EXPECT_EQ(report.results()[0].detail, QJsonArray());
    EXPECT_EQ(report.results()[1].check, u"browser: bridge executable"_s);
    EXPECT_FALSE(report.results()[1].ok);
    EXPECT_EQ(report.results()[1].detail, QString(root + u"/Tivela/libexec/tivela-bridge"_s));
}

// A pack the source lacks or gives broken, and no source at all: every check that reads such a
// pack says which and why, the one that measures a lookup fails without an entry, and the card
// check does not wait for definitions that cannot come.
TEST(SelfTestTest, AChecksMissingPackIsNamedInItsDetail) {
    const QString source = World::root() + u"/pack-source"_s;
    const auto packs = checkPacks();
    for (const QString& code : {u"en"_s, u"es"_s})
        ASSERT_TRUE(writeFile(source + u'/' + Lexicon::fileName(code), packs.at(code)));
    ASSERT_TRUE(writeFile(source + u"/de.lex.gz"_s, "not a pack"));
    Lexicon lexicon(World::root() + u"/fetched"_s);
    LexiconDownloader downloader(lexicon, QUrl::fromLocalFile(source));
    const QStringList codes{u"en"_s, u"ru"_s, u"es"_s, u"de"_s};
    const SelfTest::Packs fetched = QCoro::waitFor(SelfTest::fetchPacks(downloader, codes));
    EXPECT_EQ(fetched.installed, (QStringList{u"en"_s, u"es"_s}));
    const QString noRussian = u"pack ru: "_s + source + u"/ru.lex.gz does not exist"_s;
    EXPECT_EQ(fetched.missing,
              (QHash<QString, QString>{
                  {u"ru"_s, noRussian},
                  {u"de"_s, u"pack de: "_s + source +
                                u"/de.lex.gz is not a pack that can be installed"_s}}));

    // The English pack alone gives English cards: what needs no Russian still passes.
    CheckReport report;
    SelfTest::dictionaryChecks(report, lexicon, fetched);
    EXPECT_EQ(
        report.results(),
        (QList<CheckResult>{{u"dictionary: packs on disk"_s, false, noRussian},
                            {u"dictionary: run en→ru"_s, false, noRussian},
                            {u"dictionary: inflection ran → run"_s, true, u"lemma run"_s},
                            {u"dictionary: собаки ru→en (form of собака)"_s, false, noRussian},
                            report.results().value(4)}));
    EXPECT_EQ(report.results().value(4).check, u"dictionary: lookup speed"_s);
    EXPECT_TRUE(report.results().value(4).ok);

    // Nothing to look in: the speed of a lookup that found nothing is no pass.
    Lexicon empty(World::root() + u"/empty"_s);
    CheckReport nothing;
    SelfTest::dictionaryChecks(nothing, empty, fetched);
    EXPECT_EQ(nothing.results().value(4),
              (CheckResult{u"dictionary: lookup speed"_s, false, noRussian}));

    // What is on disk counts without a source; the rest has none to come from.
    Lexicon without(World::root() + u"/without-source"_s);
    ASSERT_TRUE(writeFile(World::root() + u"/without-source/en.lex.gz"_s, packs.at(u"en"_s)));
    LexiconDownloader nowhere(without, std::nullopt);
    const SelfTest::Packs none = QCoro::waitFor(SelfTest::fetchPacks(nowhere, codes));
    EXPECT_EQ(none.installed, QStringList{u"en"_s});
    EXPECT_EQ(none.missing.keys().size(), 3);
    EXPECT_EQ(none.problem(u"es"_s, u"en"_s), u"no pack source configured"_s);
    EXPECT_EQ(none.problem(u"en"_s, u"en"_s), QString());

    CheckWorkspace workspace(without, LanguagePair{u"es"_s, u"en"_s});
    CheckReport card;
    QElapsedTimer clock;
    clock.start();
    QCoro::waitFor(SelfTest::cardChecks(card, workspace, none));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(card.results(), (QList<CheckResult>{{u"card: definitions in my language"_s, false,
                                                   u"no pack source configured"_s}}));
}
