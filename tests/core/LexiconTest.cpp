#include "core/Lexicon.h"
#include "core/Paths.h"
#include "support/EntryPrinter.h"
#include "support/PackFiles.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <fcntl.h>
#include <sys/stat.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Term = DictionaryEntry::Term;
using Group = DictionaryEntry::Group;
using Meaning = DictionaryEntry::Meaning;

Term term(const QString& text, std::optional<QString> roman = std::nullopt,
          std::optional<QString> sense = std::nullopt) {
    return {text, std::move(roman), std::move(sense)};
}

QStringList texts(const Group& group) {
    QStringList list;
    for (const Term& t : group.terms)
        list << t.text;
    return list;
}

QStringList poses(const DictionaryEntry& card) {
    QStringList list;
    for (const Group& group : card.groups)
        list << group.pos;
    return list;
}

// A German pack with a noun that is also a verb, its forms, and the senses it translates.
const std::map<QString, QString>& germanLines() {
    static const std::map<QString, QString> lines{
        {u"whund"_s,
         uR"j({"e":[["noun","hʊnt","",[["dog, hound (animal); canine",[["Der Hund bellt.","The dog barks."],["x","y"]],["common"]],["To follow closely",[],"not a list"]]],["verb","","",[["to hound, to chase",[],[]]]]],"s":["7","8","9"]})j"_s},
        {u"whunde"_s, uR"j({"lm":["hundx","hund"]})j"_s},
        {u"whunden"_s, uR"j({"e":[["noun","","",[["dogs (plural)",[],[]]]]],"lm":["hund"]})j"_s},
        {u"wleer"_s, uR"j({"e":[],"lm":["hund"]})j"_s},
        {u"wleer2"_s, uR"j({"e":[]})j"_s},
        {u"wnurform"_s, uR"j({"lm":["leer2","hund"]})j"_s},
        {u"s7"_s, uR"j(["dog","noun","a domesticated canine",[["Köter"],["Hund"]]])j"_s},
        {u"s8"_s, uR"j(["pursue","verb","to pursue relentlessly",[["jagen"]]])j"_s},
    };
    return lines;
}

class LexiconTest : public ::testing::Test {
protected:
    void SetUp() override { QDir().mkpath(m_lexicon.directory()); }

    void install(const QString& lang, const std::map<QString, QString>& lines) {
        ASSERT_TRUE(test::writeFile(m_lexicon.packPath(lang), test::packText(lines)));
    }

    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to) {
        return m_lexicon.lookup(word, from, to);
    }

    QTemporaryDir m_dir;
    Lexicon m_lexicon{m_dir.filePath(u"Lexicon"_s)};
};

} // namespace

TEST(LexiconKeyTest, TrimsPunctuationAndSpaceLowerCasesAndComposes) {
    EXPECT_EQ(Lexicon::key(u"  «Hello, World!»\n"_s, u"en"_s), u"hello, world"_s);
    EXPECT_EQ(Lexicon::key(u"¿Qué?"_s, u"es"_s), u"qué"_s);
    EXPECT_EQ(Lexicon::key(u"Cafe\u0301"_s, u"fr"_s), u"caf\u00e9"_s);
    EXPECT_EQ(Lexicon::key(u"STRASSE"_s, u"de"_s), u"strasse"_s);
    EXPECT_EQ(Lexicon::key(u"Straße"_s, u"de"_s), u"straße"_s);
    EXPECT_EQ(Lexicon::key(u"ÄRGER"_s, u"de"_s), u"ärger"_s);
    EXPECT_EQ(Lexicon::key(u"!?.,"_s, u"en"_s), QString());
    EXPECT_EQ(Lexicon::key(u" \t\u2028"_s, u"en"_s), QString());
    // Punctuation above U+FFFF is trimmed as a whole code point.
    EXPECT_EQ(Lexicon::key(QString::fromUcs4(U"\U00010100word\U00010100"), u"en"_s), u"word"_s);
}

TEST(LexiconKeyTest, StressMarksAndYoFoldOnlyForRussianUkrainianAndBulgarian) {
    const QString stressed = u"Ёлка\u0301"_s;
    EXPECT_EQ(Lexicon::key(stressed, u"ru"_s), u"елка"_s);
    EXPECT_EQ(Lexicon::key(stressed, u"bg"_s), u"елка"_s);
    EXPECT_EQ(Lexicon::key(u"Молоко\u0300"_s, u"uk"_s), u"молоко"_s);
    // Other marks stay: the diaeresis of "ї", the breve of "й".
    EXPECT_EQ(Lexicon::key(u"Ї\u0301жак"_s, u"uk"_s), u"їжак"_s);
    EXPECT_EQ(Lexicon::key(u"Йод"_s, u"ru"_s), u"йод"_s);
    EXPECT_EQ(Lexicon::key(stressed, u"en"_s), u"ёлка\u0301"_s);
    EXPECT_EQ(Lexicon::key(u"Ёж"_s, u"sr"_s), u"ёж"_s);
}

TEST(LexiconGlossTermsTest, SplitsTrimsAndFiltersPieces) {
    EXPECT_EQ(Lexicon::glossTerms(u"dog, hound (animal); canine."_s),
              (QStringList{u"dog"_s, u"hound"_s, u"canine"_s}));
    EXPECT_EQ(Lexicon::glossTerms(u"to run, to walk: quickly"_s),
              (QStringList{u"run"_s, u"walk: quickly"_s}));
    // A nested pair is cut at its first ")"; an unclosed "(" stays.
    EXPECT_EQ(Lexicon::glossTerms(u"a (b (c) d) e"_s), QStringList{u"a  d) e"_s});
    EXPECT_EQ(Lexicon::glossTerms(u"left (open"_s), QStringList{u"left (open"_s});
    // More than three words, no letter, an upper-case phrase, a repeat: skipped.
    EXPECT_EQ(Lexicon::glossTerms(u"one two three four, 42, New York, Paris, dog, dog, Dog"_s),
              (QStringList{u"Paris"_s, u"dog"_s, u"Dog"_s}));
    // "to " goes once and the rest is not trimmed again; "To " is not "to ".
    EXPECT_EQ(Lexicon::glossTerms(u"to  run, To Go, to"_s), (QStringList{u" run"_s, u"to"_s}));
    EXPECT_EQ(Lexicon::glossTerms(u"..., ;;, ( )"_s), QStringList());
    EXPECT_EQ(Lexicon::glossTerms(u"\u00c9cole"_s), QStringList{u"\u00c9cole"_s});
}

TEST_F(LexiconTest, IntoEnglishRanksGlossTermsBeforeSenseHeadwords) {
    install(u"de"_s, germanLines());
    const auto card = lookup(u"  Hund! \n"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->word, u"Hund!"_s);
    EXPECT_EQ(card->from, u"de"_s);
    EXPECT_EQ(card->to, u"en"_s);
    EXPECT_FALSE(card->lemma);
    EXPECT_EQ(card->ipa, u"hʊnt"_s);
    EXPECT_FALSE(card->roman);

    const QList<Meaning> meanings{
        {u"noun"_s, u"dog, hound (animal); canine"_s, u"Der Hund bellt."_s, u"The dog barks."_s,
         QStringList{u"common"_s}},
        {u"noun"_s, u"To follow closely"_s, std::nullopt, std::nullopt, std::nullopt},
        {u"verb"_s, u"to hound, to chase"_s, std::nullopt, std::nullopt, QStringList()},
    };
    EXPECT_EQ(card->meanings, meanings);
    // "dog" comes from the gloss (score 0) and from sense 7 at 110: it keeps the gloss's
    // place and no sense; "pursue" comes from sense 8 at 130.
    const QList<Group> groups{
        {u"noun"_s, {term(u"dog"_s), term(u"hound"_s), term(u"canine"_s)}},
        {u"verb"_s,
         {term(u"hound"_s), term(u"chase"_s),
          term(u"pursue"_s, std::nullopt, u"to pursue relentlessly"_s)}},
    };
    EXPECT_EQ(card->groups, groups);
    EXPECT_EQ(lookup(u"  Hund! \n"_s, u"de"_s, u"en"_s), card);
}

TEST_F(LexiconTest, FormsFollowTheirLemmasOnlyWithoutEntriesOfTheirOwn) {
    install(u"de"_s, germanLines());

    // Lemma "hundx" has no record and is passed over; "hund" gives the meanings. Into English
    // the gloss terms fill the table first, so the senses of "hund" ("pursue") are not added.
    const auto form = lookup(u"Hunde"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->lemma, u"hund"_s);
    EXPECT_EQ(form->meanings.size(), 3);
    EXPECT_EQ(poses(*form), (QStringList{u"noun"_s, u"verb"_s}));
    EXPECT_EQ(texts(form->groups[1]), (QStringList{u"hound"_s, u"chase"_s}));

    const auto own = lookup(u"Hunden"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(own);
    EXPECT_FALSE(own->lemma);
    EXPECT_EQ(own->meanings.size(), 1);
    EXPECT_EQ(texts(own->groups[0]), QStringList{u"dogs"_s});

    // An empty entry list counts as present: no meanings, and the lemmas are not consulted.
    EXPECT_FALSE(lookup(u"leer"_s, u"de"_s, u"en"_s));

    // The first lemma with an entry list names the lemma, even when it gives no meaning.
    const auto chained = lookup(u"nurform"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(chained);
    EXPECT_EQ(chained->lemma, u"leer2"_s);
    EXPECT_EQ(chained->meanings.size(), 3);
}

// A regular form has no line of its own: the pack's "f" line of ending rules leads it to its
// base form, and the header's credit line names the pack's sources. Packs from before either
// line keep giving their cards.
TEST_F(LexiconTest, EndingRulesLeadRegularFormsToWordsWithEntries) {
    std::map<QString, QString> lines = germanLines();
    lines.erase(u"whunde"_s);
    // Tried in order: "hundex" has no record, "hun" none with entries, "leer" an empty one.
    lines.emplace(
        u"f"_s,
        uR"j([["e","ex"],["de",""],["e",""],["t","en","ge"],["x"],[1,"",""],["r","",""]])j"_s);
    lines.emplace(u"wmachen"_s, uR"j({"e":[["verb","","",[["make"]]]]})j"_s);
    lines.emplace(u"wleere"_s, uR"j({"s":["7"]})j"_s);
    QByteArray text = test::packText(lines);
    text.replace("# test pack\n", "# test pack\n# credit: WordNet · FreeDict\n");
    ASSERT_TRUE(test::writeFile(m_lexicon.packPath(u"de"_s), text));
    install(u"en"_s, {{u"wdog"_s, uR"j({"e":[["noun","","",[["a dog"]]]]})j"_s}});

    const struct {
        const char* word;
        const char* lemma;
        const char* first;
    } cases[] = {
        {"Hunde", "hund", "dog"},      // "e" to "ex" reaches nothing, "e" to nothing the noun
        {"gemacht", "machen", "make"}, // the beginning goes with the ending
        {"hundr", "hund", "dog"},      // a rule with an empty third part is a plain ending
    };
    for (const auto& c : cases) {
        const auto card = lookup(QString::fromUtf8(c.word), u"de"_s, u"en"_s);
        ASSERT_TRUE(card) << c.word;
        EXPECT_EQ(card->lemma, QString::fromUtf8(c.lemma)) << c.word;
        EXPECT_EQ(card->groups.value(0).terms.value(0).text, QString::fromUtf8(c.first)) << c.word;
    }
    // A word with a line of its own derives nothing; neither does a stem shorter than two.
    const auto own = lookup(u"leere"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(own);
    EXPECT_FALSE(own->lemma);
    EXPECT_FALSE(lookup(u"de"_s, u"de"_s, u"en"_s));
    EXPECT_EQ(Lexicon::derivedKeys(u"gemacht"_s, m_lexicon.pack(u"de"_s)->formRules()),
              QStringList{u"machen"_s});
    EXPECT_EQ(m_lexicon.credit(u"de"_s), u"WordNet · FreeDict"_s);
    EXPECT_EQ(m_lexicon.credit(u"en"_s), QString());
    m_lexicon.unload(u"de"_s);
    EXPECT_EQ(m_lexicon.credit(u"de"_s), QString());

    // The same pack without the rules: the form is unknown, as in packs from before.
    install(u"de"_s, germanLines());
    m_lexicon.unload(u"de"_s);
    EXPECT_FALSE(lookup(u"gemacht"_s, u"de"_s, u"en"_s));
    EXPECT_EQ(lookup(u"Hunde"_s, u"de"_s, u"en"_s)->lemma, u"hund"_s);
}

TEST_F(LexiconTest, FromEnglishRanksBySenseAndTermPosition) {
    install(u"en"_s, {{u"wrun"_s, uR"j({"e":[["verb","rʌn","",[["to move quickly",[],[]]]]]})j"_s},
                      {u"wran"_s, uR"j({"lm":["run"]})j"_s}});
    install(
        u"de"_s,
        {{u"xrun"_s, uR"j(["9","10","11","12"])j"_s},
         {u"s9"_s, uR"j(["run","verb","move fast",[["laufen"],["rennen","REN"],["sprinten"]]])j"_s},
         {u"s10"_s, uR"j(["Run","noun","a jog",[["Lauf"]]])j"_s},
         {u"s11"_s, uR"j(["runner","noun","one who runs",[["Läufer"]]])j"_s},
         {u"s12"_s, uR"j(["run","verb","operate",[[],["betreiben"],[],[],[],[],["Rennen"]]])j"_s}});

    const auto card = lookup(u"Run"_s, u"en"_s, u"de"_s);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->ipa, u"rʌn"_s);
    // Ids sort as text: 10 (j 0), 11 (j 1, another headword: skipped), 12 (j 2), 9 (j 3).
    // "Rennen" (2 + 6 × 0.3) keeps its form and takes the lower score of "rennen" (3.3).
    const QList<Group> groups{
        {u"verb"_s,
         {term(u"betreiben"_s, std::nullopt, u"operate"_s),
          term(u"laufen"_s, std::nullopt, u"move fast"_s),
          term(u"Rennen"_s, std::nullopt, u"operate"_s),
          term(u"sprinten"_s, std::nullopt, u"move fast"_s)}},
        {u"noun"_s, {term(u"Lauf"_s, std::nullopt, u"a jog"_s)}},
    };
    EXPECT_EQ(card->groups, groups);

    const auto form = lookup(u"ran"_s, u"en"_s, u"de"_s);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->lemma, u"run"_s);
    EXPECT_EQ(form->groups, groups);

    // Only the target pack knows a word: a card of translations without meanings.
    install(u"fr"_s, {{u"xwalk"_s, uR"j(["1"])j"_s},
                      {u"s1"_s, uR"j(["walk","verb","go on foot",[["marcher","mar"]]])j"_s}});
    const auto walk = lookup(u"walk"_s, u"en"_s, u"fr"_s);
    ASSERT_TRUE(walk);
    EXPECT_TRUE(walk->meanings.isEmpty());
    EXPECT_EQ(walk->groups,
              (QList<Group>{{u"verb"_s, {term(u"marcher"_s, u"mar"_s, u"go on foot"_s)}}}));
}

TEST_F(LexiconTest, BetweenTwoOtherLanguagesBridgesThroughSharedSenses) {
    install(u"de"_s, germanLines());
    install(u"fr"_s,
            {{u"s7"_s, uR"j(["dog","noun","le chien",[["chien"],["toutou","tutu"],[]]])j"_s}});

    const auto card = lookup(u"Hund"_s, u"de"_s, u"fr"_s);
    ASSERT_TRUE(card);
    // Part of speech and gloss from the source's sense, terms from the target's; sense 8 is
    // missing in the French pack.
    EXPECT_EQ(card->groups,
              (QList<Group>{{u"noun"_s,
                             {term(u"chien"_s, std::nullopt, u"a domesticated canine"_s),
                              term(u"toutou"_s, u"tutu"_s, u"a domesticated canine"_s)}}}));
    EXPECT_EQ(card->meanings.size(), 3);

    const auto noTarget = lookup(u"Hund"_s, u"de"_s, u"it"_s);
    ASSERT_TRUE(noTarget);
    EXPECT_TRUE(noTarget->groups.isEmpty());
    EXPECT_EQ(noTarget->meanings, card->meanings);
}

TEST_F(LexiconTest, EntriesGiveTheFirstPronunciationAndOnlyTheirFirstExample) {
    install(
        u"ja"_s,
        {{u"w犬"_s,
          uR"j({"e":[["noun"],["noun","","",[]],[5,"","inu",[["dog",[[]],5],[1],[],["x",["y"]],["z",[["only"]],[]]]],["noun","ɪnɯ","INU",[["hound",[["a","b"],["c","d"]]]]]]})j"_s}});
    const auto card = lookup(u"犬"_s, u"ja"_s, u"en"_s);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->roman, u"inu"_s);
    EXPECT_EQ(card->ipa, u"ɪnɯ"_s);
    const QList<Meaning> meanings{
        {QString(), u"dog"_s, std::nullopt, std::nullopt, std::nullopt},
        {QString(), u"x"_s, std::nullopt, std::nullopt, std::nullopt},
        {QString(), u"z"_s, u"only"_s, std::nullopt, QStringList()},
        {u"noun"_s, u"hound"_s, u"a"_s, u"b"_s, std::nullopt},
    };
    EXPECT_EQ(card->meanings, meanings);
    // Senses without a part of speech file their terms under "other".
    EXPECT_EQ(poses(*card), (QStringList{u"noun"_s, u"other"_s}));
}

TEST_F(LexiconTest, GroupsFollowTheMeaningsThenTheirBestScores) {
    install(
        u"de"_s,
        {{u"wwort"_s,
          uR"j({"e":[["noun","","",[["aa",[],[]]]],["","","",[["bb",[],[]]]],["verb","","",[["cc",[],[]]]]],"s":["1","2"]})j"_s},
         {u"s1"_s, uR"j(["dd","adj","",[["x"]]])j"_s},
         {u"s2"_s, uR"j(["ee","adv","",[["Wort"]]])j"_s}});
    const auto card = lookup(u"Wort"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(card);
    // "other" is placed by no meaning (the second meaning's part of speech is empty, not
    // "other"), so it joins "adv" (100) and "adj" (130) after the parts that meanings have.
    EXPECT_EQ(poses(*card), (QStringList{u"noun"_s, u"verb"_s, u"other"_s, u"adv"_s, u"adj"_s}));
}

TEST_F(LexiconTest, GroupsAndMeaningsKeepEightEach) {
    QString entries = uR"j(["noun","","",[["t1, t2, t3, t4, t5, t6, t7, t8, t9",[],[]]]])j"_s;
    for (int i = 2; i <= 8; ++i)
        entries += uR"j(,["noun","","",[["n%1",[],[]]]])j"_s.arg(i);
    entries += uR"j(,["verb","","",[["v9",[],[]]]])j"_s;
    install(u"de"_s, {{u"wviel"_s, uR"j({"e":[%1],"s":["1"]})j"_s.arg(entries)},
                      {u"s1"_s, uR"j(["much","adj","",[["viel"]]])j"_s}});

    const auto card = lookup(u"viel"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->meanings.size(), 8);
    EXPECT_EQ(card->meanings.last().gloss, u"n8"_s);
    // The ninth meaning still gives its gloss term and places "verb" before "adj".
    EXPECT_EQ(poses(*card), (QStringList{u"noun"_s, u"verb"_s, u"adj"_s}));
    EXPECT_EQ(texts(card->groups[0]), (QStringList{u"t1"_s, u"t2"_s, u"t3"_s, u"t4"_s, u"t5"_s,
                                                   u"t6"_s, u"t7"_s, u"t8"_s}));
    EXPECT_EQ(texts(card->groups[1]), QStringList{u"v9"_s});
}

TEST_F(LexiconTest, KeysAreFoldedPerLanguageAndLimitedToSixtyCharacters) {
    install(u"ru"_s, {{u"wелка"_s, uR"j({"e":[["noun","","",[["fir tree",[],[]]]]]})j"_s}});
    install(u"de"_s, {{u"wёлка"_s, uR"j({"e":[["noun","","",[["not German",[],[]]]]]})j"_s}});
    EXPECT_TRUE(lookup(u"Ёлка\u0301"_s, u"ru"_s, u"en"_s));
    EXPECT_TRUE(lookup(u"Ёлка"_s, u"de"_s, u"en"_s));
    EXPECT_FALSE(lookup(u"Елка"_s, u"de"_s, u"en"_s));

    // A "q" with a tilde has no composed form: two code units, one character.
    const QString sixty = u"q\u0303"_s.repeated(60);
    const QString sixtyOne = u"q\u0303"_s.repeated(61);
    install(u"fr"_s, {{u"w"_s + sixty, uR"j({"e":[["noun","","",[["long",[],[]]]]]})j"_s},
                      {u"w"_s + sixtyOne, uR"j({"e":[["noun","","",[["long",[],[]]]]]})j"_s}});
    EXPECT_TRUE(lookup(sixty, u"fr"_s, u"en"_s));
    EXPECT_FALSE(lookup(sixtyOne, u"fr"_s, u"en"_s));
    EXPECT_FALSE(lookup(u"  !! "_s, u"fr"_s, u"en"_s));
}

TEST_F(LexiconTest, NoCardForOneLanguageAMissingPackOrAnUnknownCode) {
    install(u"zh"_s, {{u"w狗"_s, uR"j({"e":[["noun","","gǒu",[["dog",[],[]]]]]})j"_s}});
    EXPECT_FALSE(lookup(u"狗"_s, u"zh-TW"_s, u"zh"_s));
    EXPECT_FALSE(lookup(u"Hund"_s, u"de"_s, u"en"_s));
    const auto traditional = lookup(u"狗"_s, u"zh-TW"_s, u"en"_s);
    ASSERT_TRUE(traditional);
    EXPECT_EQ(traditional->from, u"zh-TW"_s);
    EXPECT_EQ(traditional->roman, u"gǒu"_s);

    // Codes from outside (a browser) never reach the file system as paths.
    const QString outside = m_dir.filePath(u"escaped.lex.gz"_s);
    ASSERT_TRUE(test::writeFile(outside, test::packText({{u"wx"_s, uR"j({"e":[]})j"_s}})));
    for (const QString& code : {u"../escaped"_s, u"zh-TW"_s, u"xx"_s, QString()}) {
        EXPECT_EQ(m_lexicon.packPath(code), QString()) << code.toStdString();
        EXPECT_FALSE(m_lexicon.isInstalled(code));
        EXPECT_FALSE(m_lexicon.pack(code));
    }
    EXPECT_FALSE(lookup(u"x"_s, u"../escaped"_s, u"en"_s));
    QFile::remove(outside);
    EXPECT_EQ(m_lexicon.packPath(u"de"_s), m_dir.path() + u"/Lexicon/de.lex.gz"_s);
    EXPECT_TRUE(m_lexicon.isInstalled(u"zh"_s));
}

TEST_F(LexiconTest, CachedPacksStayUntilUnloaded) {
    install(u"de"_s, germanLines());
    const auto first = lookup(u"Hund"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(first);
    EXPECT_EQ(m_lexicon.pack(u"de"_s), m_lexicon.pack(u"de"_s));

    install(u"de"_s, {{u"whund"_s, uR"j({"e":[["noun","","",[["new dog",[],[]]]]]})j"_s}});
    EXPECT_EQ(lookup(u"Hund"_s, u"de"_s, u"en"_s), first);
    m_lexicon.unload(u"de"_s);
    m_lexicon.unload(u"fr"_s);
    const auto changed = lookup(u"Hund"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->meanings.first().gloss, u"new dog"_s);
}

TEST_F(LexiconTest, AFailedLoadIsRememberedUntilTheFileChanges) {
    const QString path = m_lexicon.packPath(u"de"_s);
    const QByteArray good = test::packText(germanLines());
    QByteArray bad = good;
    bad[0] = 'X';
    ASSERT_TRUE(test::writeFile(path, bad));
    EXPECT_FALSE(lookup(u"Hund"_s, u"de"_s, u"en"_s));

    // The same file, rewritten in place with the same size and time: still the failure.
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_EQ(file.write(good), good.size());
    file.close();
    timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    EXPECT_FALSE(m_lexicon.pack(u"de"_s));

    // A new time: read again.
    times[1].tv_sec += 5;
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    EXPECT_TRUE(lookup(u"Hund"_s, u"de"_s, u"en"_s));

    // A pack that arrives later is picked up at once.
    EXPECT_FALSE(lookup(u"chien"_s, u"fr"_s, u"en"_s));
    install(u"fr"_s, {{u"wchien"_s, uR"j({"e":[["noun","","",[["dog",[],[]]]]]})j"_s}});
    EXPECT_TRUE(lookup(u"chien"_s, u"fr"_s, u"en"_s));
}

TEST_F(LexiconTest, ConcurrentFirstLookupsLoadThePackOnce) {
    ASSERT_TRUE(test::generatePack({u"--lang"_s, u"de"_s, u"--lines"_s, u"20000"_s, u"--sample"_s,
                                    u"64"_s, u"--sample-file"_s, m_dir.filePath(u"words"_s),
                                    m_lexicon.packPath(u"de"_s)}));
    const QStringList words = QString::fromUtf8(test::readFile(m_dir.filePath(u"words"_s)))
                                  .split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(words.size(), 64);

    QThreadPool pool;
    pool.setMaxThreadCount(8);
    const auto cards = QtConcurrent::blockingMapped(&pool, words, [&](const QString& word) {
        return std::pair{m_lexicon.lookup(word, u"de"_s, u"en"_s), m_lexicon.pack(u"de"_s).get()};
    });
    for (qsizetype i = 0; i < words.size(); ++i) {
        EXPECT_EQ(cards[i].first, lookup(words[i], u"de"_s, u"en"_s));
        EXPECT_EQ(cards[i].second, cards[0].second);
    }
}

TEST_F(LexiconTest, GeneratedPacksGiveCardsThatKeepTheCardRules) {
    const QString folder = m_dir.path();
    for (const QString& lang : {u"en"_s, u"de"_s, u"ru"_s})
        ASSERT_TRUE(
            test::generatePack({u"--lang"_s, lang, u"--lines"_s, u"6000"_s, u"--seed"_s, u"3"_s,
                                u"--sample"_s, u"150"_s, u"--sample-file"_s,
                                folder + u'/' + lang + u".words"_s, m_lexicon.packPath(lang)}));
    const QList<std::pair<QString, QString>> pairs{
        {u"de"_s, u"en"_s}, {u"en"_s, u"de"_s}, {u"ru"_s, u"de"_s}, {u"en"_s, u"ru"_s}};
    for (const auto& [from, to] : pairs) {
        const QStringList words =
            QString::fromUtf8(test::readFile(folder + u'/' + from + u".words"_s))
                .split(u'\n', Qt::SkipEmptyParts);
        int found = 0;
        int translated = 0;
        for (const QString& word : words) {
            const auto card = lookup(word, from, to);
            if (!card)
                continue;
            ++found;
            translated += !card->groups.isEmpty();
            EXPECT_FALSE(card->isEmpty());
            EXPECT_LE(card->meanings.size(), Lexicon::maxMeanings);
            QSet<QString> seen;
            for (const Group& group : card->groups) {
                EXPECT_FALSE(group.pos.isEmpty());
                EXPECT_FALSE(seen.contains(group.pos));
                seen.insert(group.pos);
                EXPECT_GE(group.terms.size(), 1);
                EXPECT_LE(group.terms.size(), Lexicon::maxTerms);
                QSet<QString> folded;
                for (const Term& t : group.terms)
                    folded.insert(t.text.toLower());
                EXPECT_EQ(folded.size(), group.terms.size());
            }
        }
        // Every sampled word is in its pack; most also translate.
        EXPECT_EQ(found, words.size()) << from.toStdString() << to.toStdString();
        EXPECT_GT(translated, words.size() / 2) << from.toStdString() << to.toStdString();
    }
}
