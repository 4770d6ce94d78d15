// The pack builder on a few real articles: WordNet's lines for house, home, dog, run and good
// and FreeDict's English-Spanish and Spanish-English articles for them, cut from Debian's files
// (tests/data/packbuild); and small articles written in the ways the German, Polish, Dutch and
// Russian sources write theirs. The packs are read back through the application's own Lexicon.
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
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

Outcome packBuild(const QString& output, const QString& wordnet = fixtures() + u"/wordnet"_s,
                  const QStringList& langs = {u"en"_s, u"es"_s}) {
    QProcess process;
    process.start(qEnvironmentVariable("TIVELA_PACKBUILD"),
                  QStringList{u"--output"_s, output, u"--wordnet"_s, wordnet, u"--dictd"_s,
                              fixtures() + u"/dictd"_s, u"--apertium"_s, QString(),
                              u"--wordlists"_s, fixtures()} +
                      langs);
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
        s_sources = test::World::root() + u"/sources"_s;
        s_sourcesRun = packBuild(s_sources, fixtures() + u"/wordnet"_s,
                                 {u"en"_s, u"de"_s, u"pl"_s, u"nl"_s, u"ru"_s, u"sv"_s});
    }

    static QString s_folder;
    static Outcome s_run;
    static QString s_sources;
    static Outcome s_sourcesRun;
};

QString PackBuildTest::s_folder;
Outcome PackBuildTest::s_run;
QString PackBuildTest::s_sources;
Outcome PackBuildTest::s_sourcesRun;

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

// A word WordNet writes only with capitals is marked, so that detection need not take the
// lower-case word of another language ("oder") for English; one it also writes in lower case
// ("dog" beside "Canis familiaris") is not.
TEST_F(PackBuildTest, WordsWrittenOnlyWithCapitalsAreMarked) {
    ASSERT_EQ(s_run.status, 0) << s_run.errors.toStdString();
    const auto pack = LexiconPack::load(s_folder + u"/en.lex.gz"_s, u"en"_s);
    ASSERT_TRUE(pack);
    EXPECT_TRUE(pack->raw(u"woder").value_or(QByteArray()).contains(R"("cap":true)"));
    const std::optional<QByteArray> dog = pack->raw(u"wdog");
    ASSERT_TRUE(dog);
    EXPECT_FALSE(dog->contains("cap"));
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
    // The same for the sources whose forms several spellings lead to.
    const QString sourcesAgain = test::World::root() + u"/sources-again"_s;
    const QStringList langs{u"en"_s, u"de"_s, u"pl"_s, u"nl"_s, u"ru"_s, u"sv"_s};
    ASSERT_EQ(packBuild(sourcesAgain, fixtures() + u"/wordnet"_s, langs).status, 0);
    for (const QString& lang : langs)
        EXPECT_EQ(test::readFile(s_sources + u'/' + Lexicon::fileName(lang)),
                  test::readFile(sourcesAgain + u'/' + Lexicon::fileName(lang)))
            << lang.toStdString();
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

// One word of each source's way of writing: what the card shows first, what it must show
// somewhere, and what of the source's markup it must never show as a term.
struct SourceCase {
    const char* from;
    const char* to;
    const char* word;
    const char* lemma;
    const char* first;
    QStringList present;
    QStringList absent;
};

TEST_F(PackBuildTest, EachSourcesMarkupIsReadAndTheCommonMeaningComesFirst) {
    ASSERT_EQ(s_sourcesRun.status, 0) << s_sourcesRun.errors.toStdString();
    const QList<SourceCase> cases{
        // Ding: the sense a labelled trade gives ("mine car", "[Br.]") goes after the animal,
        // whose "[zool.]" names the thing itself; the plural's own article and "lief", which
        // only names "ran", are forms; a note in parentheses stays out of the headword.
        {"de", "en", "Hund", "", "dog", {u"dog"_s, u"mine car"_s}, {u"corf [Br.]"_s}},
        {"de", "en", "Hunde", "hund", "dog", {}, {u"dogs"_s, u"kennel"_s}},
        {"de", "en", "lief", "laufen", "run", {}, {u"ran"_s}},
        {"de", "en", "Hunde unterbringen", "", "kennel", {}, {}},
        // A plural written like its singular has an article of its own: no meaning of its own.
        {"de", "en", "Zimmermädchen", "", "chambermaid", {}, {u"chambermaids"_s}},
        // Both directions agree on Hund; the barrel-maker's hook and the trade's "Bock" do not
        // come first, and "etw." is no part of a term.
        {"en", "de", "dog", "", "Hund", {u"Bandhaken"_s}, {}},
        {"en", "de", "run", "", "laufen", {u"betreiben"_s}, {u"etw. betreiben"_s}},
        // Participles and past forms that both directions give for the English verb ("run":
        // "gelaufen", "betrieb") are forms of verbs already among its terms, no terms of their
        // own; the noun "Betrieb" of the same key keeps its capital.
        {"en", "de", "run", "", "laufen", {}, {u"gelaufen"_s, u"betrieb"_s, u"betrieben"_s}},
        {"de", "en", "Betrieb", "", "business", {}, {}},
        // A preposition fused with its article is a form of the preposition.
        {"de", "en", "im", "in", "in", {}, {}},
        // Polish from English: numbering, parts of speech, usage lines, idioms and phrasal verbs.
        {"en",
         "pl",
         "house",
         "",
         "dom",
         {u"gościć"_s},
         {u"przyjęcie domowe"_s, u"mieć pełny dom"_s, u"mieszkać"_s, u"gościć (at - w)"_s}},
        // Polish into English: only the English lines, without the Polish definitions.
        {"pl",
         "en",
         "dom",
         "",
         "house",
         {u"home"_s},
         {u"oddzielny budynek mieszkalny"_s, u"ród"_s, u"2"_s}},
        {"pl", "en", "pies", "", "dog", {u"hound"_s}, {u"Canis familiaris"_s}},
        // A register label on the Polish definition ranks the colloquial word after the plain
        // one.
        {"en", "pl", "dog", "", "pies", {u"psina"_s}, {}},
        // Swedish: the word that the dictionaries with German confirm through Ding's "Hund"
        // leads; the German definition is no term.
        {"en", "sv", "dog", "", "hund", {u"byracka"_s}, {u"Canis lupus familiaris"_s}},
        // A phrase that one line writes without its spaces ("gårdochgrund") reads as the
        // headword writes it.
        {"en", "sv", "house", "", "hus", {u"gård och grund"_s}, {u"gårdochgrund"_s}},
        // A participle of another headword ("glättend" of "glätten", for "even") goes after
        // the English word's own sense.
        {"en", "de", "evening", "", "Abend", {u"glättend"_s}, {}},
        // Dutch: compound markers are no terms, and the ĳ ligature reads as the "ij" typed.
        {"en", "nl", "house", "", "huis", {u"pand"_s}, {u"huis‐"_s}},
        {"en", "nl", "home", "", "thuis", {u"verblijf"_s}, {u"verblĳf"_s}},
        {"nl", "en", "verblijf", "", "home", {}, {}},
        // A line in alphabetical order says nothing of which term is common: "run" leads.
        {"nl", "en", "rennen", "", "run", {u"bolt"_s}, {}},
        // Through German where no dictionary into English has the word: "kåk" is "Haus", whose
        // one sense is "house".
        {"sv", "en", "kåk", "", "house", {}, {}},
        {"nl", "en", "huis", "", "house", {}, {u"house‐"_s, u"domesticated"_s}},
        // A word that the dictionaries with German name as a noun and as a pronoun ("ett jag",
        // "jag") goes through the German pronoun's sense too.
        {"sv", "en", "jag", "", "I", {}, {}},
        // nld-eng's order of meanings is no guide: the one Ding's German gives back ("Auge":
        // "eye") leads.
        {"nl", "en", "oog", "", "eye", {u"point"_s}, {}},
        // Mueller: the translations before the idioms, labelled senses after, references and
        // placeholders out.
        {"en",
         "ru",
         "dog",
         "",
         "собака",
         {u"пёс"_s, u"кобель"_s, u"выслеживать"_s},
         {u"созвездие Большого Пса"_s, u"= andiron"_s, u"весельчак"_s, u"выслеживать кого-л."_s}},
        {"ru", "en", "собака", "", "dog", {}, {}},
        {"en", "ru", "house", "", "дом", {u"жилище"_s, u"здание"_s}, {u"нижняя палата"_s}},
        // Without a dictionary into English the article's order leads, but a single word goes
        // before the phrase that the article names first.
        {"en", "ru", "home", "", "жилище", {u"родной дом"_s}, {}},
    };
    Lexicon lexicon(s_sources);
    for (const SourceCase& c : cases) {
        const QString what = QString::fromUtf8(c.from) + u':' + QString::fromUtf8(c.to) + u':' +
                             QString::fromUtf8(c.word);
        const auto card = lexicon.lookup(QString::fromUtf8(c.word), QString::fromUtf8(c.from),
                                         QString::fromUtf8(c.to));
        ASSERT_TRUE(card) << what.toStdString();
        EXPECT_EQ(card->lemma.value_or(QString()), QString::fromUtf8(c.lemma))
            << what.toStdString();
        QStringList terms;
        for (const DictionaryEntry::Group& group : card->groups)
            terms += texts(&group);
        EXPECT_EQ(terms.value(0), QString::fromUtf8(c.first)) << what.toStdString();
        for (const QString& term : c.present)
            EXPECT_TRUE(terms.contains(term))
                << what.toStdString() << " lacks " << term.toStdString();
        for (const QString& term : c.absent)
            EXPECT_FALSE(terms.contains(term))
                << what.toStdString() << " shows " << term.toStdString();
    }

    // A term whose line names no part of speech takes the one the other dictionary gives it,
    // and a verb's numbered line gives it to the line's other terms: "inhysa" and "härbärgera"
    // are no translations of the noun "house".
    const auto house = lexicon.lookup(u"house"_s, u"en"_s, u"sv"_s);
    ASSERT_TRUE(house);
    EXPECT_EQ(texts(group(*house, u"verb"_s)), (QStringList{u"inhysa"_s, u"härbärgera"_s}));
    // A word that only a route through German gives goes after the dictionaries' own words.
    EXPECT_EQ(texts(group(*house, u"noun"_s)),
              (QStringList{u"hus"_s, u"gård och grund"_s, u"kåk"_s}));
    // An article that names no part of speech takes the one of the word's parts of speech
    // that its English word mostly has: "hem" is an adverb first, but "home" mostly a noun.
    const auto hem = lexicon.lookup(u"hem"_s, u"sv"_s, u"en"_s);
    ASSERT_TRUE(hem);
    EXPECT_EQ(texts(group(*hem, u"noun"_s)).value(0), u"home"_s);
    // "jycke" is "Hund", which is a dog and a mine car: WordNet's texts use "dog" far more
    // often, so the route leads there and lends it no other sense.
    const auto jycke = lexicon.lookup(u"jycke"_s, u"sv"_s, u"en"_s);
    ASSERT_TRUE(jycke);
    EXPECT_EQ(texts(group(*jycke, u"noun"_s)), QStringList{u"dog"_s});

    // Each pack names its sources and their licences, and the index lists every pack made.
    const auto credit = [&](const QString& lang) {
        const auto pack = LexiconPack::load(s_sources + u'/' + Lexicon::fileName(lang), lang);
        return pack ? pack->credit() : QString();
    };
    EXPECT_EQ(credit(u"en"_s), u"WordNet"_s);
    EXPECT_EQ(credit(u"de"_s), u"WordNet · FreeDict"_s);
    EXPECT_EQ(credit(u"ru"_s), u"WordNet · Mueller"_s);
    const auto ru = LexiconPack::gunzip(test::readFile(s_sources + u"/ru.lex.gz"_s));
    ASSERT_TRUE(ru);
    EXPECT_TRUE(ru->view().toByteArray().contains(
        "# licences: WordNet 3.0 licence; Mueller (GNU GPL version 2 or later)\n"));
    const auto index = LexiconDownloader::parseIndex(test::readFile(s_sources + u"/index.json"_s));
    EXPECT_TRUE(index.read);
    EXPECT_EQ(index.languages, (QStringList{u"de"_s, u"en"_s, u"nl"_s, u"pl"_s, u"ru"_s, u"sv"_s}));
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
