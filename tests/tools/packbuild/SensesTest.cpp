// Pairs of a language's word and an English word attached to WordNet's senses of the sample
// WordNet (tests/data/packbuild/wordnet): a route through German stands in only for pairs
// the dictionaries lack, and its German word's part of speech is not the dictionaries' word's.
#include "Senses.h"
#include "Draft.h"
#include "English.h"
#include "Evidence.h"
#include "PartsOfSpeech.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

TEST(SensesTest, ARouteLendsTheDictionariesPairNoOtherPartOfSpeech) {
    English english;
    QString error;
    ASSERT_TRUE(english.load(
        qEnvironmentVariable("TIVELA_SOURCE_DIR") + u"/tests/data/packbuild/wordnet"_s, &error))
        << error.toStdString();
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

} // namespace
} // namespace tivela::packbuild
