#include "Ranking.h"

#include "Evidence.h"
#include "Terms.h"

#include "core/Lexicon.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// A card shows eight terms of a part of speech; a sense's first five leave room for the next
// senses' best ones.
constexpr qsizetype maxSenseTerms = 5;
// How many of an English word's best translations lead its first sense.
constexpr qsizetype promotedTerms = 2;

// The pairs of a word and an English word that the word's own first meaning names.
QSet<size_t> firstMeanings(const Draft& draft) {
    QSet<size_t> first;
    for (const auto& [wordKey, word] : draft.words) {
        if (word.entries.isEmpty() || word.entries.first().meanings.isEmpty())
            continue;
        for (const QString& term : Lexicon::glossTerms(word.entries.first().meanings.first().gloss))
            first.insert(Draft::pairKey(wordKey, key(term, u"en"_s)));
    }
    return first;
}

void trace(const QString& id, const QList<Vote>& list,
           const std::function<QString(const Vote&)>& why) {
    for (const Vote& vote : list)
        std::fprintf(stderr, "%s %s %.2f %s\n", qPrintable(id), qPrintable(vote.key), vote.score,
                     qPrintable(why(vote)));
}

bool hasKey(const QList<Vote>& votes, const QString& k) {
    return std::any_of(votes.begin(), votes.end(), [&](const Vote& v) { return v.key == k; });
}

// The best terms of each English word and part of speech, wherever they were attached, lead
// its first sense.
void promote(Draft& draft) {
    std::map<QString, QStringList> firstSenses;
    for (const auto& [id, list] : draft.votes) {
        if (!list.isEmpty())
            firstSenses[key(draft.senses[id].english, u"en"_s) + u'\t' + draft.senses[id].pos]
                << id;
    }
    for (auto& [group, ids] : firstSenses) {
        std::sort(ids.begin(), ids.end());
        QList<QPair<double, Vote>> best;
        for (const QString& id : std::as_const(ids)) {
            for (const Vote& vote : std::as_const(draft.votes[id]))
                best.append({vote.score, vote});
        }
        std::stable_sort(best.begin(), best.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        QList<Vote>& first = draft.votes[ids.first()];
        QList<Vote> promoted;
        for (qsizetype i = 0; i < best.size() && promoted.size() < promotedTerms; ++i) {
            if (!hasKey(promoted, best[i].second.key))
                promoted << best[i].second;
        }
        for (const Vote& vote : std::as_const(first)) {
            if (!hasKey(promoted, vote.key))
                promoted << vote;
        }
        first = promoted;
    }
}

} // namespace

double score(const Candidate& c, const Weights& w) {
    return (c.agreeing ? w.agreement : 0.0) + (c.firstMeaning ? w.firstMeaning : 0.0) +
           w.mentions * std::log2(1.0 + double(c.mentions)) +
           (c.sourceKinds > 1 ? w.secondSource + w.furtherSource * double(c.sourceKinds - 2)
                              : 0.0) +
           w.german * c.germanConfirmations - (c.special || c.formOfOther ? w.special : 0.0) +
           (c.ordered ? w.place : 0.0) * double(2 - c.place) - (c.phrase ? w.phrase : 0.0) -
           (c.routed ? w.routed : 0.0);
}

double score(const MeaningCandidate& m, const Weights& w) {
    return m.commonness + (m.backed ? w.backedMeaning : 0.0) - w.laterMeaning * double(m.earlier);
}

double score(const SenseCandidate& s, const Weights& w) {
    // Without a dictionary into English, a pair's sense is guessed from the other English words
    // of the term, often a rare one of a common word ("fast" of a colour): how common the
    // English word is tells more than how often its guessed sense is used.
    const double use = s.ordered ? s.commonness : std::log2(1.0 + double(s.count));
    return s.commonness - w.termPosition * double(s.position) + use -
           (s.special ? w.special : 0.0) + (s.ordered ? w.place : 0.0) * double(2 - s.place) -
           (s.routed ? w.routed : 0.0);
}

void rankVotes(Draft& draft, const Evidence& evidence, const Ding& ding,
               const std::function<bool(const QString&, const QString&)>& formOfOther,
               const Weights& weights) {
    const QSet<size_t> firstMeaning = firstMeanings(draft);
    const QStringList traced = qEnvironmentVariable("TIVELA_PACKBUILD_TRACE").split(u',');
    for (auto& [id, list] : draft.votes) {
        const QString english = key(draft.senses[id].english, u"en"_s);
        const auto candidate = [&](const Vote& vote) {
            const PairFacts fact = draft.fact(vote.key, english);
            return Candidate{.agreeing = fact.directions == 3,
                             .firstMeaning =
                                 firstMeaning.contains(Draft::pairKey(vote.key, english)),
                             .mentions = evidence.mentions.value(vote.key),
                             .sourceKinds = std::popcount(unsigned(vote.sources & ~routed)),
                             .germanConfirmations = 0,
                             .special = !fact.plain,
                             .formOfOther = fact.plain && formOfOther(vote.key, english),
                             .place = fact.place,
                             .ordered = draft.ordered,
                             .phrase = wordCount(vote.key) > 1,
                             .routed = fact.directions == 0};
        };
        for (Vote& vote : list) {
            const int confirmations = evidence.german.confirmations(ding, vote.key, english);
            if (confirmations > 0)
                vote.sources |= german;
            Candidate c = candidate(vote);
            c.germanConfirmations = confirmations;
            vote.score = score(c, weights);
        }
        std::stable_sort(list.begin(), list.end(),
                         [](const Vote& a, const Vote& b) { return a.score > b.score; });
        if (traced.contains(english)) {
            trace(id, list, [&](const Vote& vote) {
                const Candidate c = candidate(vote);
                return u"agree=%1 first=%2 mentions=%3 src=%4 special=%5 form=%6"_s.arg(c.agreeing)
                    .arg(c.firstMeaning)
                    .arg(c.mentions)
                    .arg(vote.sources)
                    .arg(c.special)
                    .arg(c.formOfOther);
            });
        }
    }
    promote(draft);
    for (auto& [id, list] : draft.votes) {
        for (const Vote& vote : std::as_const(list).first(std::min(list.size(), maxSenseTerms)))
            draft.senses[id].terms << vote.text;
    }
    draft.votes = {};
}

} // namespace tivela::packbuild
