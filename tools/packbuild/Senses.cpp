#include "Senses.h"

#include "English.h"
#include "PartsOfSpeech.h"
#include "Terms.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// The senses a word is weighed among before the best of them are kept.
constexpr qsizetype maxSensesGathered = 64;

// A word as American English spells it, near enough to tell two spellings of one word apart
// from two words: "colour" and "color", "analyse" and "analyze", "centre" and "center".
QString americanSpelling(const QString& word) {
    static const QList<std::pair<QRegularExpression, QString>> rules{
        {QRegularExpression(u"our(?=s?$|ed$|ing$|ful|less)"_s), u"or"_s},
        {QRegularExpression(u"(?<=[a-z])is(?=e|ed$|es$|ing$|ation)"_s), u"iz"_s},
        {QRegularExpression(u"(?<=[a-z])ys(?=e|ed$|es$|ing$)"_s), u"yz"_s},
        {QRegularExpression(u"(?<=[a-z])tre(s?)$"_s), u"ter\\1"_s},
        {QRegularExpression(u"(?<=[aeiou])ll(?=ed$|ing$|er$)"_s), u"l"_s},
        {QRegularExpression(u"ogue$"_s), u"og"_s}};
    QString american = word.toLower();
    for (const auto& [pattern, replacement] : rules)
        american.replace(pattern, replacement);
    return american;
}

// The other spellings of a word among the words of its synset.
QStringList spellings(const QString& word, const QStringList& synsetWords) {
    const QString american = americanSpelling(word);
    QStringList found;
    for (const QString& other : synsetWords) {
        if (key(other, u"en"_s) != key(word, u"en"_s) && americanSpelling(other) == american)
            found << other;
    }
    return found;
}

} // namespace

QString senseId(const QString& english, const QString& pos, int number) {
    return english + u'.' + WordNet::letter(pos) + QString::number(number).rightJustified(2, u'0');
}

SenseAttacher::SenseAttacher(const English& english, Evidence& evidence, Draft& draft)
    : m_english(english)
    , m_evidence(evidence)
    , m_draft(draft) {
}

void SenseAttacher::index() {
    std::stable_sort(m_evidence.pairs.begin(), m_evidence.pairs.end(),
                     [](const Pair& a, const Pair& b) { return a.rank < b.rank; });
    for (Pair& pair : m_evidence.pairs) {
        pair.englishKey = key(pair.english, u"en"_s);
        pair.termKey = key(pair.term, m_evidence.code);
        m_draft.context[pair.termKey].insert(qHash(pair.englishKey));
        // A route neither confirms a pair nor gives it a direction: it only stands in for a
        // dictionary that is not there.
        if (pair.source != fromLanguage && pair.source != routed)
            m_draft.confirmed[pair.termKey].insert(qHash(pair.englishKey));
        PairFacts& fact = m_draft.facts[Draft::pairKey(pair.termKey, pair.englishKey)];
        if (pair.source != routed)
            fact.directions |= (pair.source & (fromEnglish | apertium)) ? 1 : 2;
        fact.plain = fact.plain || !pair.special;
        if (pair.source == fromEnglish)
            fact.place = quint8(std::min(int(fact.place), pair.place));
    }
    m_draft.ordered = m_evidence.articles.isEmpty();
}

void SenseAttacher::attachAll() {
    index();
    releaseMemory();
    for (Pair pair : std::as_const(m_evidence.pairs)) {
        const QString termKey = pair.termKey;
        if (termKey.isEmpty() || pair.englishKey.isEmpty())
            continue;
        // A route stands in only for pairs the dictionaries lack: where they pair the words
        // already, at their own part of speech, a route would add the term under another one
        // ("spelen" as the noun "play") with the standing of the dictionaries' pair.
        if (pair.source == routed && m_draft.fact(termKey, pair.englishKey).directions != 0)
            continue;
        // An English inflected form ("dogs") translates a form of the language, whose base
        // form has the pair of its own.
        if (!m_english.isLemma(pair.englishKey) && m_english.isForm(pair.englishKey)) {
            ++m_draft.tally.dropped;
            continue;
        }
        if (pair.pos.isEmpty() || (isWordNetPos(pair.pos) && !m_english.isLemma(pair.englishKey)))
            pair.pos = readPartOfSpeech(pair, m_evidence, m_english);
        const QString id = attach(pair);
        if (id.isEmpty())
            continue;
        QList<Vote>& list = m_draft.votes[id];
        auto vote =
            std::find_if(list.begin(), list.end(), [&](const Vote& v) { return v.key == termKey; });
        if (vote == list.end())
            list.append({pair.term, termKey, pair.source});
        else
            vote->sources |= pair.source;
        appendUnique(m_draft.words[termKey].senses, id, maxSensesGathered);
    }
    // The pairs live on in the senses and votes.
    m_evidence.pairs = {};
    m_draft.context = {};
}

qsizetype SenseAttacher::bestSense(const Pair& pair, const QList<WordNet::Sense>& candidates) {
    // Other English words the term translates, found among a sense's synonyms (strong) or in
    // its definition (weak), point to that sense.
    const QSet<size_t> others = m_draft.context.value(pair.termKey);
    const size_t self = qHash(pair.englishKey);
    qsizetype best = 0;
    bool evidence = false;
    double bestScore = -1;
    for (qsizetype c = 0; c < candidates.size(); ++c) {
        int score = 0;
        for (const size_t k : m_english.synsetKeys(candidates[c].synset)) {
            if (k != self && others.contains(k))
                score += 2;
        }
        for (const size_t k : m_english.definitionWords(candidates[c].synset)) {
            if (k != self && others.contains(k))
                score += 1;
        }
        // How often WordNet's corpus used a sense weighs against a rare sense that shares a
        // word by chance.
        const double weighed = score + std::log2(1.0 + candidates[c].count);
        if (weighed > bestScore) {
            bestScore = weighed;
            best = c;
            evidence = score > 0;
        }
    }
    ++(evidence ? m_draft.tally.synonym : m_draft.tally.first);
    return best;
}

QString SenseAttacher::attach(const Pair& pair) {
    const QString& english = pair.englishKey;
    const QString lemma = m_english.lemma(english);
    const WordNet& wordnet = m_english.wordnet();
    QList<WordNet::Sense> candidates;
    if (!lemma.isEmpty()) {
        if (isWordNetPos(pair.pos)) {
            candidates = wordnet.senses(lemma, pair.pos);
        } else if (pair.pos.isEmpty()) {
            for (const QList<WordNet::Sense>& list : wordnet.senses(lemma))
                candidates += list;
        }
    }
    std::map<QString, SenseLine>& senses = m_draft.senses;
    if (candidates.isEmpty()) {
        // An English word WordNet does not know as a noun, verb or adjective is a phrase, a
        // rare word or an inflected form: its sense would cost more room than it is worth. A
        // word of another part of speech ("the", "and") has its sense of its own.
        if (lemma.isEmpty() &&
            (wordCount(english) > 1 || isWordNetPos(pair.pos) || pair.pos.isEmpty())) {
            ++m_draft.tally.dropped;
            return {};
        }
        ++m_draft.tally.outside;
        const QString id = senseId(english, pair.pos, 0);
        if (!senses.count(id))
            senses[id] = {pair.english, pair.pos, {}, {}, 0};
        return id;
    }
    qsizetype best = 0;
    if (candidates.size() == 1)
        ++m_draft.tally.single;
    else
        best = bestSense(pair, candidates);
    const WordNet::Synset& synset = wordnet.synsets()[candidates[best].synset];
    const QString id = senseId(english, synset.pos, candidates[best].number);
    if (!senses.count(id)) {
        QString headword = lemma;
        for (const QString& word : synset.words) {
            if (key(word, u"en"_s) == english) {
                headword = word;
                break;
            }
        }
        senses[id] = {headword,
                      synset.pos,
                      synset.definition,
                      {},
                      candidates[best].count,
                      spellings(headword, synset.words)};
    }
    return id;
}

} // namespace tivela::packbuild
