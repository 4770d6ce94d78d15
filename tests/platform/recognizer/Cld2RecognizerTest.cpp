#include "platform/recognizer/Cld2Recognizer.h"

#include "core/LanguageDetector.h"
#include "core/Languages.h"
#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QtConcurrent>

#include <array>
#include <cmath>
#include <numeric>

using namespace tivela;
using namespace Qt::StringLiterals;
using Hint = LanguageRecognizer::Hint;

namespace {

QList<LanguageRecognizer::Hypothesis> recognise(const QString& text,
                                                const QStringList& constraints = {},
                                                const QList<Hint>& hints = {}, double others = 0.02,
                                                int maximum = 1000) {
    Cld2Recognizer recognizer;
    recognizer.setLanguageConstraints(constraints);
    if (!hints.isEmpty())
        recognizer.setLanguageHints(hints, others);
    recognizer.processString(text);
    return recognizer.languageHypotheses(maximum);
}

QStringList identifiers(const QList<LanguageRecognizer::Hypothesis>& hypotheses) {
    QStringList result;
    for (const auto& hypothesis : hypotheses)
        result << hypothesis.identifier;
    return result;
}

double total(const QList<LanguageRecognizer::Hypothesis>& hypotheses) {
    double sum = 0;
    for (const auto& hypothesis : hypotheses)
        sum += hypothesis.probability;
    return sum;
}

} // namespace

TEST(Cld2RecognizerTest, EvidenceReadsAllThreeHypotheses) {
    const auto clear = Cld2Recognizer::evidence(u"Der Zug nach Berlin fährt um neun Uhr ab."_s);
    EXPECT_FALSE(clear.bestEffort);
    EXPECT_GT(clear.shares.value(u"de"_s), 0.8);

    // Two languages in one text: both shares are read, under our codes.
    const auto mixed = Cld2Recognizer::evidence(
        u"The weather is lovely today and we are going to the beach with the children. "
        "Сегодня прекрасная погода, и мы идём на пляж вместе с детьми и друзьями."_s);
    EXPECT_GT(mixed.shares.value(u"en"_s), 0.2);
    EXPECT_GT(mixed.shares.value(u"ru"_s), 0.2);

    // A word CLD2 will not place by itself comes from its best effort, in our codes.
    const auto word = Cld2Recognizer::evidence(u"שלום"_s);
    EXPECT_TRUE(word.bestEffort);
    EXPECT_TRUE(word.shares.contains(u"he"_s));
    EXPECT_FALSE(word.shares.contains(u"iw"_s));

    // Its English fallback on text it cannot place at all is no evidence.
    EXPECT_TRUE(Cld2Recognizer::evidence(u"zzq"_s).shares.isEmpty());
    EXPECT_TRUE(Cld2Recognizer::evidence(u"42"_s).shares.isEmpty());
}

TEST(Cld2RecognizerTest, LanguagesAreCodesWithoutPseudoLanguages) {
    const QStringList& languages = Cld2Recognizer::languages();
    EXPECT_GT(languages.size(), 150);
    for (const char* code : {"en", "he", "nb", "zh", "zh-TW", "af", "sr"})
        EXPECT_TRUE(languages.contains(QLatin1String(code))) << code;
    for (const char* code : {"iw", "no", "nn", "zh-Hant", "un", "xxx", "xx", "tlh", "sr-ME"})
        EXPECT_FALSE(languages.contains(QLatin1String(code))) << code;
    EXPECT_EQ(languages.size(), QSet<QString>(languages.cbegin(), languages.cend()).size());
}

TEST(Cld2RecognizerTest, HypothesesAreRankedAndNormalised) {
    const auto all = recognise(u"Il fait beau aujourd'hui, allons nous promener au parc."_s);
    ASSERT_GT(all.size(), 3);
    EXPECT_EQ(all.first().identifier, u"fr"_s);
    EXPECT_NEAR(total(all), 1.0, 1e-9);
    for (qsizetype i = 1; i < all.size(); ++i)
        EXPECT_GE(all[i - 1].probability, all[i].probability);

    const auto three = recognise(u"Il fait beau aujourd'hui."_s, {}, {}, 0.02, 3);
    EXPECT_EQ(three.size(), 3);
    EXPECT_LE(total(three), 1.0 + 1e-9);
    EXPECT_TRUE(recognise(u"Il fait beau."_s, {}, {}, 0.02, 0).isEmpty());
    EXPECT_TRUE(recognise(u"Il fait beau."_s, {}, {}, 0.02, -1).isEmpty());
}

TEST(Cld2RecognizerTest, ConstraintsAcceptAnyIdentifierOfALanguage) {
    // The platform's and CLD2's names of one language are the same constraint.
    const auto hebrew = recognise(u"אני אוהב אותך מאוד"_s, {u"iw"_s, u"en"_s});
    ASSERT_EQ(hebrew.size(), 1);
    EXPECT_EQ(hebrew.first().identifier, u"iw"_s);
    EXPECT_DOUBLE_EQ(hebrew.first().probability, 1.0);

    const auto chinese = recognise(u"我們今天去公園散步"_s, {u"zh-Hans"_s, u"zh-Hant"_s, u"ja"_s});
    EXPECT_EQ(identifiers(chinese).first(), u"zh-Hant"_s);
    EXPECT_EQ(chinese.size(), 3);

    // A constraint CLD2 has never heard of is still a language of its script.
    const auto unknown = recognise(u"hello"_s, {u"xx-made-up"_s});
    ASSERT_EQ(unknown.size(), 1);
    EXPECT_EQ(unknown.first().identifier, u"xx"_s);
}

TEST(Cld2RecognizerTest, ScriptsTheTableDoesNotKnow) {
    // Oriya letters: no language of the table writes them, so only what CLD2 recognised can be
    // named, and constraints can rule it out altogether.
    const QString oriya = u"ଓଡ଼ିଆ ଭାଷା ଏକ ଭାରତୀୟ ଭାଷା ଯାହା ଓଡ଼ିଶାରେ କୁହାଯାଏ"_s;
    const auto free = recognise(oriya);
    ASSERT_FALSE(free.isEmpty());
    EXPECT_EQ(free.first().identifier, u"or"_s);
    EXPECT_TRUE(recognise(oriya, {u"en"_s, u"hi"_s}).isEmpty());
}

TEST(Cld2RecognizerTest, WeightsArePriors) {
    const QList<Hint> hints{{u"de"_s, 0.5}, {u"en"_s, 0.35}};
    // A word nothing else tells apart: the weights decide, and give the probabilities.
    const auto word = recognise(u"zzq"_s, {u"en"_s, u"de"_s}, hints);
    ASSERT_EQ(word.size(), 2);
    EXPECT_EQ(word[0].identifier, u"de"_s);
    EXPECT_NEAR(word[0].probability, 0.5 / 0.85, 1e-9);

    // Languages left out of the weights weigh `others`; unconstrained, a hinted language CLD2
    // lacks can still be named.
    const auto others = recognise(u"zzq"_s, {}, {{u"qq"_s, 0.01}}, 0.5);
    EXPECT_NE(identifiers(others).first(), u"qq"_s);
    const auto alone = recognise(u"zzq"_s, {}, {{u"qq"_s, 0.9}}, 0.0);
    EXPECT_EQ(identifiers(alone).first(), u"qq"_s);

    // A sentence is decided by its text, however the weights lean.
    const auto sentence =
        recognise(u"Where is the nearest train station, please?"_s, {u"en"_s, u"de"_s}, hints);
    EXPECT_EQ(sentence.first().identifier, u"en"_s);
    EXPECT_GT(sentence.first().probability, 0.95);

    // A weight of zero makes a language unlikely, not impossible, and none is negative.
    const auto zero = recognise(u"zzq"_s, {u"en"_s}, {{u"en"_s, 0.0}});
    ASSERT_EQ(zero.size(), 1);
    EXPECT_DOUBLE_EQ(zero.first().probability, 1.0);
    const auto negative = recognise(u"zzq"_s, {u"en"_s, u"fr"_s}, {{u"en"_s, -1.0}});
    EXPECT_FALSE(std::isnan(negative.first().probability));
}

TEST(Cld2RecognizerTest, TiesGoByWeightOrderThenPopularityThenCode) {
    const QStringList latin{u"sv"_s, u"da"_s, u"nl"_s, u"af"_s, u"ca"_s};
    // Without weights: popularity (nl before sv before da before ca), then code (af).
    EXPECT_EQ(identifiers(recognise(u"zzq"_s, latin)),
              (QStringList{u"nl"_s, u"sv"_s, u"da"_s, u"ca"_s, u"af"_s}));
    // Equal weights: their order; a repeated identifier keeps its first place, last weight.
    const auto hinted = recognise(
        u"zzq"_s, latin, {{u"da"_s, 0.9}, {u"af"_s, 0.35}, {u"sv"_s, 0.35}, {u"da"_s, 0.35}});
    EXPECT_EQ(identifiers(hinted).mid(0, 3), (QStringList{u"da"_s, u"af"_s, u"sv"_s}));
    EXPECT_DOUBLE_EQ(hinted[0].probability, hinted[2].probability);
}

TEST(Cld2RecognizerTest, NothingToRecognise) {
    EXPECT_TRUE(recognise(u""_s).isEmpty());
    EXPECT_TRUE(recognise(u"  12.5 % — (!) 😀"_s).isEmpty());
    // Cyrillic text among Latin-only constraints.
    EXPECT_TRUE(recognise(u"Привет"_s, {u"en"_s, u"de"_s}).isEmpty());

    // A recogniser starts afresh with every text.
    Cld2Recognizer recognizer;
    recognizer.processString(u"Guten Morgen, wie geht es dir heute?"_s);
    EXPECT_FALSE(recognizer.languageHypotheses(3).isEmpty());
    recognizer.processString(u"123"_s);
    EXPECT_TRUE(recognizer.languageHypotheses(3).isEmpty());
}

namespace {

// The analysers of eng-spa alone, whatever else the machine has installed.
Morphology& englishSpanish() {
    static Morphology morphology(
        {test::modesFolder(u"modes-en-es"_s, {u"eng-spa"_s, u"spa-eng"_s})});
    return morphology;
}

Morphology& noAnalysers() {
    static Morphology morphology({test::World::root() + u"/no-modes"_s});
    return morphology;
}

std::string guess(const char* text, const QStringList& pair, Morphology& morphology) {
    const QStringList& codes = Languages::popularity();
    Cld2Recognizer recognizer(morphology);
    const auto guess = LanguageDetector::detect(QString::fromUtf8(text),
                                                {codes.cbegin(), codes.cend()}, pair, recognizer);
    return guess ? guess->code.toStdString() : "none";
}

struct Rule {
    const char* text;
    // Nothing: the same as without analysers.
    const char* language;
};

void PrintTo(const Rule& rule, std::ostream* out) {
    *out << rule.text;
}

class AnalyserRules : public testing::TestWithParam<Rule> {};

} // namespace

TEST_P(AnalyserRules, HoldWhicheverLanguageIsTheUsersOwn) {
    ASSERT_TRUE(englishSpanish().load({u"en"_s, u"es"_s}, std::chrono::seconds(60)))
        << "apertium-eng-spa is not installed";
    const Rule rule = GetParam();
    for (const QStringList& pair : {QStringList{u"en"_s, u"es"_s}, QStringList{u"es"_s, u"en"_s}}) {
        const std::string without = guess(rule.text, pair, noAnalysers());
        EXPECT_EQ(guess(rule.text, pair, englishSpanish()), rule.language ? rule.language : without)
            << "hints " << pair.join(u',').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    EnglishSpanish, AnalyserRules,
    testing::Values(
        // A word only one language of the pair knows is that language's, in capitals too.
        Rule{"gato", "es"}, Rule{"Gato", "es"}, Rule{"GATO", "es"}, Rule{"casa", "es"},
        Rule{"canción", "es"}, Rule{"CANCIÓN", "es"}, Rule{"house", "en"}, Rule{"HOUSE", "en"},
        Rule{"don’t", "en"}, Rule{"it's", "en"},
        // A word both know, or neither (an accent left out, a word the analyser lacks, another
        // language's word), is left to CLD2 and the weights.
        Rule{"no", nullptr}, Rule{"hotel", nullptr}, Rule{"a", nullptr}, Rule{"cancion", nullptr},
        Rule{"jubilado", nullptr}, Rule{"maison", nullptr}, Rule{"zzq", nullptr},
        // Longer texts go by the share of words each knows, and a text in another language
        // stays CLD2's to name.
        Rule{"el gato negro duerme", "es"}, Rule{"the black cat sleeps", "en"},
        Rule{"gato house", nullptr},
        Rule{"Não foi possível abrir o ficheiro de configuração do sistema", "pt"},
        Rule{"Le train pour la ville part à huit heures chaque matin", "fr"}));

namespace {

// English-Spanish with French and Portuguese installed beside it, as scripts/install-deps has
// it, whatever else the machine has.
Morphology& besideThePair() {
    static Morphology morphology(
        {test::modesFolder(u"modes-beside"_s, {u"eng-spa"_s, u"spa-eng"_s, u"fr-es"_s, u"es-fr"_s,
                                               u"es-pt"_s, u"pt-es"_s})});
    return morphology;
}

std::string source(const QString& text, const QStringList& pair, Morphology& morphology) {
    Cld2Recognizer recognizer(morphology);
    const auto guess = LanguageDetector::detectAny(text, pair, recognizer);
    return guess ? guess->code.toStdString() : "none";
}

} // namespace

// A translation's source among every language: a text the pair's languages cannot be is named
// as what it is, so that the engine reports it untranslatable instead of handing it back.
TEST(Cld2RecognizerTest, SourcesAreNamedAmongEveryLanguage) {
    ASSERT_TRUE(
        besideThePair().load({u"en"_s, u"es"_s, u"fr"_s, u"pt"_s}, std::chrono::seconds(60)))
        << "apertium-eng-spa, apertium-fr-es or apertium-es-pt is not installed";
    const std::pair<const char*, const char*> table[] = {
        // Languages without a pair beside English and Spanish.
        {"Der Hund ist im Haus und schläft", "de"},
        {"犬は家で寝ている", "ja"},
        {"Собака спит в доме", "ru"},
        {"Բարեւ, ինչպես ես այսօր", "hy"},
        // A word neither analyser of the pair knows, but another installed one does.
        {"Bonjour", "fr"},
        {"merci", "fr"},
        {"maison", "fr"},
        {"obrigado", "pt"},
        // A word cut off before its apostrophe, as an elided word is read.
        {"jusqu", "fr"},
        // The pair's own words, and words no analyser knows or all do, stay the pair's.
        {"house", "en"},
        {"casa", "es"},
        {"Tivela", "en"},
        {"Paris", "en"},
        {"Where is the station?", "en"},
        // A language close to a popular one does not take its texts: CLD2 calls this Galician.
        {"Arquivo é demasiado pequeno", "pt"},
    };
    for (const auto& [text, expected] : table)
        EXPECT_EQ(source(QString::fromUtf8(text), {u"en"_s, u"es"_s}, besideThePair()), expected)
            << text;
    // Without French installed, "Bonjour" is left to CLD2 and the pair.
    EXPECT_EQ(source(u"Bonjour"_s, {u"en"_s, u"es"_s}, englishSpanish()), "en");
    // CLD2 standing by a language of the pair outweighs another installed analyser.
    EXPECT_EQ(source(u"Casa"_s, {u"en"_s, u"fr"_s}, besideThePair()), "fr");
}

// Detection from many threads while the other installed languages' analysers are still
// loading: every asker waits, bounded, and gets the same answer.
TEST(Cld2RecognizerTest, ABurstOfSourcesWhileTheAnalysersLoad) {
    Morphology morphology(
        {test::modesFolder(u"modes-burst-beside"_s, {u"eng-spa"_s, u"spa-eng"_s, u"fr-es"_s})});
    const QStringList texts{u"Bonjour"_s, u"casa"_s, u"Der Hund ist im Haus und schläft"_s,
                            u"house"_s};
    QList<int> runs(64);
    std::iota(runs.begin(), runs.end(), 0);
    const QList<std::string> codes = QtConcurrent::blockingMapped(runs, [&](int i) {
        return source(texts[i % texts.size()], {u"en"_s, u"es"_s}, morphology);
    });
    for (qsizetype i = 0; i < codes.size(); ++i)
        EXPECT_EQ(codes[i], (std::array{"fr", "es", "de", "en"}[i % 4])) << i;
}

namespace {

// Small packs beside English and Spanish: German words and forms, a Swedish word German
// shares, a Swedish word German rules lead to a German one, a word the English pack and the
// German one both hold, one the English pack has only as a name, and a German word Spanish
// rules lead to a Spanish one; words German and Swedish share, which Swedish has as
// conjunctions, a form of a pronoun or a noun, and German as nouns, an adjective or an adverb;
// and words German shares with the French pack, one the French analyser does not know.
PackWords& smallPacks() {
    static PackWords packs([] {
        const QString folder = test::World::root() + u"/small-packs"_s;
        const auto entry = [](const char* part) -> QString {
            return uR"({"e":[[")"_s + QLatin1String(part) + uR"(","","",[["a gloss",[],[]]]]]})"_s;
        };
        const QString noun = entry("noun");
        test::writeFile(folder + u"/de.lex.gz"_s,
                        test::packText({{u"f"_s, uR"([["en",""],["s",""]])"_s},
                                        {u"wbild"_s, noun},
                                        {u"wder"_s, entry("det")},
                                        {u"wdessa"_s, entry("adj")},
                                        {u"weller"_s, noun},
                                        {u"wfrühstück"_s, noun},
                                        {u"whaben"_s, entry("verb")},
                                        {u"whaus"_s, noun},
                                        {u"whenne"_s, noun},
                                        {u"whouse"_s, noun},
                                        {u"whund"_s, noun},
                                        {u"wmädchen"_s, noun},
                                        {u"woder"_s, entry("conj")},
                                        {u"wquarkel"_s, noun},
                                        {u"wschnell"_s, entry("adj")},
                                        {u"wsoviel"_s, entry("adv")},
                                        {u"wstrudel"_s, noun},
                                        {u"wzeitung"_s, noun}}));
        test::writeFile(folder + u"/sv.lex.gz"_s,
                        test::packText({{u"wbild"_s, noun},
                                        {u"wdenna"_s, entry("pron")},
                                        {u"wdessa"_s, uR"({"lm":["denna"]})"_s},
                                        {u"weller"_s, entry("conj")},
                                        {u"whennes"_s, uR"({"lm":["hon"]})"_s},
                                        {u"whon"_s, entry("pron")},
                                        {u"whund"_s, noun},
                                        {u"wsoviel"_s, entry("conj")}}));
        test::writeFile(folder + u"/fr.lex.gz"_s,
                        test::packText({{u"wsoviel"_s, noun}, {u"wstrudel"_s, noun}}));
        test::writeFile(folder + u"/es.lex.gz"_s,
                        test::packText({{u"f"_s, uR"([["en","er"]])"_s}, {u"whaber"_s, noun}}));
        test::writeFile(
            folder + u"/en.lex.gz"_s,
            test::packText({{u"woder"_s, uR"({"cap":true,"e":[]})"_s}, {u"wquarkel"_s, noun}}));
        return PackWords::Options{folder};
    }());
    return packs;
}

struct PackRule {
    const char* text;
    // Nothing: the same as without packs.
    const char* language;
};

void PrintTo(const PackRule& rule, std::ostream* out) {
    *out << rule.text;
}

class PackRules : public testing::TestWithParam<PackRule> {};

} // namespace

TEST_P(PackRules, NameWordsOnlyAnotherLanguagesPackHolds) {
    ASSERT_TRUE(
        besideThePair().load({u"en"_s, u"es"_s, u"fr"_s, u"pt"_s}, std::chrono::seconds(60)))
        << "apertium-eng-spa, apertium-fr-es or apertium-es-pt is not installed";
    ASSERT_TRUE(smallPacks().load(std::chrono::seconds(60)));
    const PackRule rule = GetParam();
    const QString text = QString::fromUtf8(rule.text);
    for (const QStringList& pair : {QStringList{u"en"_s, u"es"_s}, QStringList{u"es"_s, u"en"_s}}) {
        const auto named = [&](PackWords* packs) {
            Cld2Recognizer recognizer(besideThePair(), packs);
            const auto guess = LanguageDetector::detectAny(text, pair, recognizer);
            return guess ? guess->code.toStdString() : "none";
        };
        EXPECT_EQ(named(&smallPacks()), rule.language ? rule.language : named(nullptr))
            << "hints " << pair.join(u',').toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    EnglishSpanish, PackRules,
    testing::Values(
        // Words neither analyser of the pair knows, held by the German pack,
        // in any case, and a regular form its rules lead to a headword.
        PackRule{"Haus", "de"}, PackRule{"Zeitung", "de"}, PackRule{"Frühstück", "de"},
        PackRule{"MÄDCHEN", "de"}, PackRule{"schnell", "de"}, PackRule{"Zeitungen", "de"},
        // A pack holding a word as it is outweighs one whose form rules
        // alone lead it to a word of its own, and the pair's packs keep
        // only the words they hold as they are.
        PackRule{"hennes", "sv"}, PackRule{"haben", "de"},
        // A pair's pack that has a word only as a name ("Oder") holds
        // none typed in lower case, and shadows no other pack's word.
        PackRule{"oder", "de"}, PackRule{"Oder", "de"},
        // A short phrase goes by the share of its words a pack holds.
        PackRule{"der Hund", "de"}, PackRule{"schnell Zeitung Haus", "de"},
        // The pair's words stay the pair's, whatever else a pack holds; so do
        // words the pair's own packs hold, words no pack holds, another
        // installed analyser's words and longer texts.
        PackRule{"house", "en"}, PackRule{"casa", "es"}, PackRule{"quarkel", nullptr},
        PackRule{"Tivela", nullptr}, PackRule{"Bonjour", "fr"}, PackRule{"the house is big", "en"},
        PackRule{"Der Hund ist im Haus und schläft", "de"},
        // Between languages whose packs hold a word alike, the one that has
        // it as a function word (or a form of one) has it; a German noun
        // typed in lower case is held less surely; a word a language's
        // analyser does not know is held less surely by its pack.
        PackRule{"eller", "sv"}, PackRule{"Eller", "sv"}, PackRule{"Soviel", "sv"},
        PackRule{"dessa", "sv"}, PackRule{"bild", "sv"}, PackRule{"Strudel", "de"}));
