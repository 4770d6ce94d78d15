#include "Routes.h"

#include "English.h"
#include "SecondRoute.h"
#include "Terms.h"

#include <QRegularExpression>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// How much more common than each other sense of its German word a sense must be to stand for
// the word, in doublings of how often WordNet's corpus uses its English word: "Hund" is a dog
// far more often than a mine car.
constexpr double dominance = 2.0;

// Letters and endings that Swedish, Dutch or German write where English writes others, so
// that a word and its English cognate read alike.
QString cognateSpelling(const QString& word) {
    static const QList<std::pair<QRegularExpression, QString>> rules{
        {QRegularExpression(u"(?<=[a-z]{3})(eren|era|ieren)$"_s), QString()},
        {QRegularExpression(u"(?<=[a-z]{3})(atie|ation)$"_s), u"ation"_s},
        {QRegularExpression(u"(?<=[a-z]{3})(tie|tion)$"_s), u"tion"_s},
        {QRegularExpression(u"(?<=[a-z]{3})(teit|tät|tet)$"_s), u"ty"_s},
        {QRegularExpression(u"(?<=[a-z]{3})(isch|isk)$"_s), u"ic"_s}};
    QString text = word.normalized(QString::NormalizationForm_D);
    text.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    for (const auto& [pattern, replacement] : rules)
        text.replace(pattern, replacement);
    return cognateKey(text);
}

qsizetype editDistance(const QString& a, const QString& b) {
    QList<qsizetype> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

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

} // namespace

bool cognate(const QString& wordKey, const QString& englishKey) {
    // Short words share their letters by chance ("hem" and "hen").
    constexpr qsizetype shortest = 4;
    const QString word = cognateSpelling(wordKey);
    const QString english = cognateSpelling(englishKey);
    const qsizetype shorter = std::min(word.size(), english.size());
    if (shorter < shortest || word.front() != english.front() || englishKey.contains(u' '))
        return false;
    return editDistance(word, english) <= std::max<qsizetype>(1, shorter / 5);
}

namespace {

// The English words one word leads to, each with the German words it goes through, in the
// order of the German words' senses.
QList<Lead> leads(const QString& wordKey, const std::vector<size_t>& germanWords,
                  const QStringList& parts, const Ding& ding, const English& english) {
    QList<size_t> distinct;
    for (const size_t german : germanWords) {
        if (!distinct.contains(german & ~size_t(1)))
            distinct << (german & ~size_t(1));
    }
    QList<Lead> found;
    for (const size_t german : std::as_const(distinct)) {
        // A sense of another part of speech, or of none, is another word's.
        QList<Ding::Sense> own = ding.senses(german);
        own.removeIf([&](const Ding::Sense& sense) {
            return !parts.isEmpty() && !parts.contains(sense.pos);
        });
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
            lead->unambiguous =
                lead->unambiguous || dominant(own, i, english) || cognate(wordKey, englishKey);
        }
    }
    return found;
}

} // namespace

QList<Pair> routesThroughGerman(const GermanWords& words, const Ding& ding, const English& english,
                                int firstRank, const SecondRoute* second) {
    // In the order of the words, not of the hash: the same input gives the same bytes.
    QStringList keys = words.words().keys();
    std::sort(keys.begin(), keys.end());
    QList<Pair> pairs;
    int rank = firstRank;
    for (const QString& wordKey : std::as_const(keys)) {
        if (!usableTerm(wordKey))
            continue;
        const QStringList parts = words.partsOfSpeech(wordKey);
        QSet<QString> agreeing;
        for (const Ding::Sense& sense : second ? second->english(wordKey) : QList<Ding::Sense>{})
            agreeing.insert(key(sense.english, u"en"_s));
        for (const Lead& lead :
             leads(wordKey, words.words().value(wordKey), parts, ding, english)) {
            if ((lead.unambiguous || lead.through.size() >= 2 ||
                 agreeing.contains(key(lead.sense.english, u"en"_s))) &&
                attachable(english, lead.sense.english, lead.sense.pos))
                pairs.append({lead.sense.english, lead.sense.pos, wordKey, rank++, routed, {}, {}});
        }
    }
    return pairs;
}

QList<Pair> routesThroughSecond(const SecondRoute& second, const English& english, int firstRank) {
    QList<Pair> pairs;
    int rank = firstRank;
    for (const QString& wordKey : second.words()) {
        const QList<Ding::Sense> reached = second.english(wordKey);
        if (!usableTerm(wordKey))
            continue;
        for (const Ding::Sense& sense : reached) {
            if ((reached.size() == 1 || cognate(wordKey, key(sense.english, u"en"_s))) &&
                attachable(english, sense.english, sense.pos))
                pairs.append({sense.english, sense.pos, wordKey, rank++, routed, {}, {}});
        }
    }
    return pairs;
}

} // namespace tivela::packbuild
