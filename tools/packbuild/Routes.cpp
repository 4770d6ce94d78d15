#include "Routes.h"

#include "English.h"
#include "Terms.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// How much more common than each other sense of its German word a sense must be to stand for
// the word, in doublings of how often WordNet's corpus uses its English word: "Hund" is a dog
// far more often than a mine car.
constexpr double dominance = 2.0;

struct Lead {
    Ding::Sense sense;
    QSet<size_t> through;
    // A German word of one sense, or one whose other senses are rare beside it, leads to it.
    bool unambiguous = false;
};

// Whether the sense at index stands for the German word of these senses.
bool dominant(const QList<Ding::Sense>& senses, qsizetype index, const English& english) {
    const QString own = key(senses[index].english, u"en"_s);
    const double commonness = english.commonness(own);
    for (const Ding::Sense& other : senses) {
        const QString otherKey = key(other.english, u"en"_s);
        if (otherKey != own && english.commonness(otherKey) + dominance > commonness)
            return false;
    }
    return true;
}

// The English words one word leads to, each with the German words it goes through, in the
// order of the German words' senses.
QList<Lead> leads(const std::vector<size_t>& germanWords, const QString& pos, const Ding& ding,
                  const English& english) {
    QList<size_t> distinct;
    for (const size_t german : germanWords) {
        if (!distinct.contains(german & ~size_t(1)))
            distinct << (german & ~size_t(1));
    }
    QList<Lead> found;
    for (const size_t german : std::as_const(distinct)) {
        // A sense of another part of speech, or of none, is another word's.
        QList<Ding::Sense> own = ding.senses(german);
        own.removeIf([&](const Ding::Sense& sense) { return !pos.isEmpty() && sense.pos != pos; });
        for (qsizetype i = 0; i < own.size(); ++i) {
            const Ding::Sense& sense = own[i];
            const QString englishKey = key(sense.english, u"en"_s);
            auto lead = std::find_if(found.begin(), found.end(), [&](const Lead& l) {
                return key(l.sense.english, u"en"_s) == englishKey;
            });
            if (lead == found.end()) {
                found.append({sense, {}});
                lead = found.end() - 1;
            }
            lead->through.insert(german);
            lead->unambiguous = lead->unambiguous || dominant(own, i, english);
        }
    }
    return found;
}

} // namespace

QList<Pair> routesThroughGerman(const GermanWords& words, const Ding& ding, const English& english,
                                int firstRank) {
    // In the order of the words, not of the hash: the same input gives the same bytes.
    QStringList keys = words.words().keys();
    std::sort(keys.begin(), keys.end());
    QList<Pair> pairs;
    int rank = firstRank;
    for (const QString& wordKey : std::as_const(keys)) {
        if (!usableTerm(wordKey))
            continue;
        const QString pos = words.partOfSpeech(wordKey);
        for (const Lead& lead : leads(words.words().value(wordKey), pos, ding, english)) {
            if ((lead.unambiguous || lead.through.size() >= 2) &&
                attachable(english, lead.sense.english, lead.sense.pos))
                pairs.append({lead.sense.english, lead.sense.pos, wordKey, rank++, routed, {}, {}});
        }
    }
    return pairs;
}

} // namespace tivela::packbuild
