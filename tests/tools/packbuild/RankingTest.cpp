// The ranking's weights on hand-made candidates: which of two translations of a sense comes
// first, and which of two meanings or senses of a word.
#include "Ranking.h"

#include <gtest/gtest.h>

namespace tivela::packbuild {
namespace {

struct Case {
    const char* what;
    double better;
    double worse;
};

TEST(RankingTest, TheCommonTranslationComesFirst) {
    const QList<Case> cases{
        {"both directions outweigh a word the dictionaries use a hundred times",
         score(Candidate{.agreeing = true, .mentions = 1}), score(Candidate{.mentions = 100})},
        {"a plain word goes before a special use ten times as common",
         score(Candidate{.mentions = 10}), score(Candidate{.mentions = 100, .special = true})},
        {"a form of another word goes after the word itself", score(Candidate{}),
         score(Candidate{.formOfOther = true})},
        {"both dictionaries with German outweigh the term's own first meaning",
         score(Candidate{.germanConfirmations = 2}), score(Candidate{.firstMeaning = true})},
        {"one dictionary with German outweighs a second kind of source",
         score(Candidate{.germanConfirmations = 1}), score(Candidate{.sourceKinds = 2})},
        {"a phrase goes after a single word of like standing", score(Candidate{}),
         score(Candidate{.phrase = true})},
        {"a third kind of source adds to a second", score(Candidate{.sourceKinds = 3}),
         score(Candidate{.sourceKinds = 2})},
        {"without a dictionary into English the article's first term leads",
         score(Candidate{.place = 0, .ordered = true}),
         score(Candidate{.mentions = 3, .place = 2, .ordered = true})},
        {"a meaning another source gives back goes before a slightly commoner one",
         score(MeaningCandidate{.commonness = 5, .backed = true}),
         score(MeaningCandidate{.commonness = 7})},
        {"between equal meanings the dictionary's order decides",
         score(MeaningCandidate{.commonness = 5, .earlier = 0}),
         score(MeaningCandidate{.commonness = 5, .earlier = 1})},
        {"a sense the word leads goes before a commoner one where it stands third",
         score(SenseCandidate{.commonness = 4, .position = 0}),
         score(SenseCandidate{.commonness = 6, .position = 2})},
        {"a special sense goes after a rarer plain one",
         score(SenseCandidate{.commonness = 3, .count = 1}),
         score(SenseCandidate{.commonness = 5, .count = 3, .special = true})},
        {"without a dictionary into English, a common word's guessed sense goes before a "
         "rarer word's much-used one",
         score(SenseCandidate{.commonness = 5.2, .count = 0, .place = 0, .ordered = true}),
         score(SenseCandidate{.commonness = 4.5, .count = 21, .place = 0, .ordered = true})},
    };
    for (const Case& c : cases)
        EXPECT_GT(c.better, c.worse) << c.what;

    // Where a dictionary into English agrees or disagrees, the article's order says nothing.
    EXPECT_EQ(score(Candidate{.place = 0}), score(Candidate{.place = 2}));
    // Every weight is a number of its own: a weight set to nothing takes its reason away.
    EXPECT_EQ(score(Candidate{.special = true}, Weights{.special = 0}), score(Candidate{}));
}

} // namespace
} // namespace tivela::packbuild
