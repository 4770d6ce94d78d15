// The pack builder on a few real articles: WordNet's lines for house, home, dog, run and good
// and FreeDict's English-Spanish and Spanish-English articles for them, cut from Debian's files
// (tests/data/packbuild). The packs are read back through the application's own Lexicon.
#include "core/Lexicon.h"
#include "core/LexiconPack.h"
#include "support/EntryPrinter.h"
#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

QString fixtures() {
    return qEnvironmentVariable("TIVELA_SOURCE_DIR") + u"/tests/data/packbuild"_s;
}

struct Outcome {
    int status = -1;
    QString errors;
};

Outcome packBuild(const QString& output, const QString& wordnet = fixtures() + u"/wordnet"_s) {
    QProcess process;
    process.start(qEnvironmentVariable("TIVELA_PACKBUILD"),
                  {u"--output"_s, output, u"--wordnet"_s, wordnet, u"--dictd"_s,
                   fixtures() + u"/dictd"_s, u"--apertium"_s, QString(), u"--wordlists"_s,
                   fixtures(), u"en"_s, u"es"_s});
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

class PackBuildTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = test::World::root() + u"/packs"_s;
        s_run = packBuild(s_folder);
    }

    static QString s_folder;
    static Outcome s_run;
};

QString PackBuildTest::s_folder;
Outcome PackBuildTest::s_run;

const DictionaryEntry::Group* group(const DictionaryEntry& entry, const QString& pos) {
    for (const DictionaryEntry::Group& group : entry.groups) {
        if (group.pos == pos)
            return &group;
    }
    return nullptr;
}

QStringList texts(const DictionaryEntry::Group* group) {
    QStringList texts;
    for (const DictionaryEntry::Term& term : group ? group->terms : QList<DictionaryEntry::Term>{})
        texts << term.text;
    return texts;
}

TEST_F(PackBuildTest, CardsInBothDirectionsFromRealArticles) {
    ASSERT_EQ(s_run.status, 0) << s_run.errors.toStdString();
    Lexicon lexicon(s_folder);

    // English to Spanish: WordNet's senses, FreeDict's translation on the first one.
    const auto house = lexicon.lookup(u"House"_s, u"en"_s, u"es"_s);
    ASSERT_TRUE(house);
    EXPECT_EQ(house->meanings.size(), Lexicon::maxMeanings);
    EXPECT_EQ(house->meanings[0].pos, u"noun"_s);
    EXPECT_EQ(house->meanings[0].gloss,
              u"a dwelling that serves as living quarters for one or more families"_s);
    EXPECT_EQ(house->meanings[0].example, u"he has a house on Cape Cod"_s);
    EXPECT_EQ(house->groups.value(0).pos, u"noun"_s);
    ASSERT_FALSE(house->groups.value(0).terms.isEmpty());
    EXPECT_EQ(house->groups[0].terms[0].text, u"casa"_s);
    EXPECT_EQ(house->groups[0].terms[0].sense, house->meanings[0].gloss);

    // Spanish to English: the Spanish article's gloss gives the translation first.
    const auto casa = lexicon.lookup(u"¡Casa!"_s, u"es"_s, u"en"_s);
    ASSERT_TRUE(casa);
    EXPECT_EQ(casa->ipa, u"/kˈasa/"_s);
    EXPECT_EQ(casa->meanings.value(0).gloss, u"house"_s);
    EXPECT_EQ(texts(group(*casa, u"noun"_s)).value(0), u"house"_s);

    // A numbered Spanish article ("1. flow 2. race, run") without a part of speech, and an
    // English irregular form.
    const auto correr = lexicon.lookup(u"correr"_s, u"es"_s, u"en"_s);
    ASSERT_TRUE(correr);
    EXPECT_EQ(correr->meanings.size(), 2);
    EXPECT_EQ(texts(group(*correr, u"other"_s)), (QStringList{u"race"_s, u"run"_s, u"flow"_s}));
    const auto ran = lexicon.lookup(u"ran"_s, u"en"_s, u"es"_s);
    ASSERT_TRUE(ran);
    EXPECT_EQ(ran->lemma, u"run"_s);
    EXPECT_FALSE(ran->meanings.isEmpty());

    // A word only one dictionary knows, in the other direction: perro from "dog".
    const auto dog = lexicon.lookup(u"dog"_s, u"en"_s, u"es"_s);
    ASSERT_TRUE(dog);
    EXPECT_TRUE(texts(group(*dog, u"noun"_s)).contains(u"perro"_s));
    EXPECT_FALSE(lexicon.lookup(u"zzzz"_s, u"es"_s, u"en"_s));
}

TEST_F(PackBuildTest, SameInputSameBytesAndTheHeaderTellsHowPairsWereMatched) {
    ASSERT_EQ(s_run.status, 0) << s_run.errors.toStdString();
    const QString again = test::World::root() + u"/again"_s;
    ASSERT_EQ(packBuild(again).status, 0);
    for (const QString& lang : {u"en"_s, u"es"_s}) {
        const QByteArray first = test::readFile(s_folder + u'/' + Lexicon::fileName(lang));
        EXPECT_FALSE(first.isEmpty());
        EXPECT_EQ(first, test::readFile(again + u'/' + Lexicon::fileName(lang)))
            << lang.toStdString();
    }
    const auto text = LexiconPack::gunzip(test::readFile(s_folder + u"/es.lex.gz"_s));
    ASSERT_TRUE(text);
    const QByteArray whole = text->view().toByteArray();
    // Header lines come first; the key lines begin with "s", "w" and "x".
    const QString header =
        QString::fromUtf8(whole.first(std::max<qsizetype>(0, whole.indexOf("\ns"))));
    EXPECT_TRUE(header.contains(u"WordNet 3.0 Copyright 2006 by Princeton University"_s));
    EXPECT_TRUE(header.contains(u"FreeDict eng-spa 0.3.1"_s));
    EXPECT_TRUE(header.contains(
        QRegularExpression(u"# pairs attached to English senses: \\d+ to the only sense of their "
                           u"part of speech, \\d+ by shared synonyms or definition words, "
                           u"[1-9]\\d* to the first sense"_s)));
}

TEST_F(PackBuildTest, MissingDataFailsWithoutLeavingAPack) {
    const QString folder = test::World::root() + u"/broken"_s;
    const Outcome run = packBuild(folder, fixtures() + u"/no-such-wordnet"_s);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.errors.contains(u"no-such-wordnet"_s)) << run.errors.toStdString();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
}

} // namespace
} // namespace tivela
