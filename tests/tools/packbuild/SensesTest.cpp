// Pairs of a language's word and an English word attached to WordNet's senses of the sample
// WordNet (tests/data/packbuild/wordnet): a route through German stands in only for pairs
// the dictionaries lack, its German word's part of speech is not the dictionaries' word's, and
// a sense is found under each spelling of its word.
#include "Senses.h"
#include "Draft.h"
#include "English.h"
#include "Evidence.h"
#include "PackLines.h"
#include "PartsOfSpeech.h"
#include "Ranking.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

class SensesTest : public testing::Test {
protected:
    void SetUp() override {
        QString error;
        ASSERT_TRUE(m_english.load(
            qEnvironmentVariable("TIVELA_SOURCE_DIR") + u"/tests/data/packbuild/wordnet"_s, &error))
            << error.toStdString();
    }

    English m_english;
};

TEST_F(SensesTest, ARouteLendsTheDictionariesPairNoOtherPartOfSpeech) {
    const English& english = m_english;
    // Dutch "spelen" as a dictionary gives it, without a part of speech, and as a route reads
    // it: German "Spielen" is a noun, and its key is the verb's.
    Evidence evidence;
    evidence.code = u"nl"_s;
    evidence.pairs = {
        {.english = u"run"_s, .pos = {}, .term = u"rennen"_s, .rank = 1, .source = fromEnglish},
        {.english = u"run"_s,
         .pos = u"verb"_s,
         .term = u"rennen"_s,
         .rank = 2,
         .source = fromLanguage},
        {.english = u"run"_s, .pos = u"noun"_s, .term = u"rennen"_s, .rank = 3, .source = routed},
        {.english = u"house"_s, .pos = u"noun"_s, .term = u"woning"_s, .rank = 4, .source = routed},
    };
    takePartsOfSpeech(evidence, english);
    EXPECT_EQ(evidence.pairs[0].pos, u"verb"_s);

    Draft draft;
    SenseAttacher(english, evidence, draft).attachAll();
    QStringList senses = draft.words[u"rennen"_s].senses;
    EXPECT_EQ(senses.size(), 1) << senses.join(u' ').toStdString();
    EXPECT_TRUE(senses.value(0).startsWith(u"run.v"_s)) << senses.join(u' ').toStdString();
    // Where no dictionary pairs the words, the route stands.
    senses = draft.words[u"woning"_s].senses;
    ASSERT_EQ(senses.size(), 1);
    EXPECT_TRUE(senses[0].startsWith(u"house.n"_s)) << senses[0].toStdString();
    EXPECT_EQ(draft.votes[senses[0]].value(0).sources, int(routed));
}

// A dictionary that writes "colour" translates the sense that a reader who types "color" looks
// for: WordNet's synset holds both spellings.
TEST_F(SensesTest, ASenseIsFoundUnderEachSpellingOfItsWord) {
    Evidence evidence;
    evidence.code = u"nl"_s;
    evidence.pairs = {{.english = u"colour"_s, .pos = u"noun"_s, .term = u"kleur"_s},
                      {.english = u"home"_s, .pos = u"noun"_s, .term = u"woning"_s}};
    Draft draft;
    SenseAttacher(m_english, evidence, draft).attachAll();
    rankVotes(draft, evidence, Ding(), [](const QString&, const QString&) { return false; });
    const Lines lines = packLines(draft, u"nl"_s, {});
    ASSERT_TRUE(lines.count(u"xcolour"_s));
    ASSERT_TRUE(lines.count(u"xcolor"_s));
    EXPECT_EQ(lines.at(u"xcolor"_s), QByteArray(R"(["colour.n01/color"])"));
    ASSERT_TRUE(lines.count(u"scolour.n01/color"_s));
    const QByteArray& copy = lines.at(u"scolour.n01/color"_s);
    EXPECT_TRUE(copy.startsWith(R"(["color","noun","a visual attribute)")) << copy.constData();
    EXPECT_TRUE(copy.endsWith(R"([["kleur"]]])")) << copy.constData();
    // Two words of one synset are no spellings of each other.
    ASSERT_TRUE(lines.count(u"xhome"_s));
    EXPECT_FALSE(lines.count(u"xdwelling"_s));
    EXPECT_FALSE(lines.count(u"xdomicile"_s));
}

} // namespace
} // namespace tivela::packbuild
