#include "Entries.h"

#include "English.h"
#include "Forms.h"
#include "LanguageTable.h"
#include "Terms.h"

#include "core/Lexicon.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <numeric>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// A common word translates many senses; the first ones are the dictionaries' best.
constexpr qsizetype maxSensesPerWord = 4;
constexpr qsizetype maxGlossTerms = 5;
constexpr qsizetype commonnessTerms = 3;
constexpr qsizetype maxIpaWord = 10;
// A dictionary this large fills a pack with its rarest words: Ding's 300,000 articles.
constexpr qsizetype largeDictionary = 150000;
constexpr qsizetype maxExample = 80;
// A word with fewer senses of its own gets the senses of its translations up to this many.
constexpr qsizetype derivedMeanings = 4;

const QRegularExpression& pluralNote() {
    static const QRegularExpression plural(u"(^|[,\\s])pl($|[,\\s])"_s);
    return plural;
}

const QRegularExpression& singularNote() {
    static const QRegularExpression singular(u"(^|[,\\s])sg($|[,\\s])"_s);
    return singular;
}

void addForm(Evidence& evidence, const QString& form, const QString& lemma) {
    if (!evidence.forms.value(form).contains(lemma))
        evidence.forms[form] << lemma;
}

} // namespace

EntryBuilder::EntryBuilder(const English& english, const LanguageSources& sources,
                           Evidence& evidence, Draft& draft, const Ding& ding)
    : m_english(english)
    , m_sources(sources)
    , m_evidence(evidence)
    , m_draft(draft)
    , m_ding(ding) {
}

// A plural of its own article ("Hunde <pl>") whose singular has one too is a form of it; so
// is a plural written like its singular ("Stubenmädchen <pl>": "chambermaids").
bool EntryBuilder::pluralOfHeadword(const FreeDict::Entry& article, const QString& wordKey) const {
    if (!pluralNote().match(article.pos).hasMatch() || singularNote().match(article.pos).hasMatch())
        return false;
    if (m_singulars.contains(wordKey))
        return true;
    for (const QString& ending : {u"nen"_s, u"en"_s, u"er"_s, u"n"_s, u"e"_s, u"s"_s}) {
        if (wordKey.endsWith(ending) && wordKey.size() > ending.size() + 2 &&
            (m_headwords.contains(wordKey.chopped(ending.size())) ||
             m_headwords.contains(folded(wordKey.chopped(ending.size())))))
            return true;
    }
    return false;
}

// An article that only names English inflected forms ("ging": "walked", "Hunde": "dogs") is a
// form of the base form it refers to, if any, and no word of its own.
bool EntryBuilder::formsOnly(const FreeDict::Entry& article) const {
    bool only = !article.groups.isEmpty();
    for (const FreeDict::Group& group : article.groups) {
        for (const QString& term : group.terms) {
            const QString englishKey = key(englishHeadword(term), u"en"_s);
            if (m_english.isLemma(englishKey) || !m_english.isForm(englishKey))
                only = false;
        }
    }
    return only;
}

// A line whose terms stand in alphabetical order ("abet, aid, assist, help, serve") says
// nothing of which is common: its terms go by how common the English words are, so that the
// first few a card shows are the common ones.
QList<qsizetype> EntryBuilder::termOrder(const FreeDict::Group& group) const {
    QList<qsizetype> order(group.terms.size());
    std::iota(order.begin(), order.end(), 0);
    const bool alphabetical =
        group.terms.size() >= 3 && std::is_sorted(group.terms.begin(), group.terms.end(),
                                                  [](const QString& a, const QString& b) {
                                                      return a.compare(b, Qt::CaseInsensitive) < 0;
                                                  });
    if (!alphabetical)
        return order;
    QList<double> commonness;
    for (const QString& term : group.terms)
        commonness << m_english.commonness(key(englishHeadword(term), u"en"_s));
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return commonness[a] > commonness[b]; });
    return order;
}

// The part of speech of a word whose article names none. Where the dictionaries with German
// name the word's parts of speech, the one of them and of the analyser's that the line's first
// English word is most often in WordNet ("flicka" is a noun, but "patch" is a verb); else the
// analyser's first reading that is no name ("del" is a name first, then a noun).
QString EntryBuilder::unwrittenPos(const QString& wordKey, const FreeDict::Group& group) const {
    const QStringList german = m_evidence.german.partsOfSpeech(wordKey);
    QStringList named;
    for (const QString& pos : m_evidence.partsOfSpeech.value(wordKey) + german) {
        if (pos != "name"_L1 && !named.contains(pos))
            named << pos;
    }
    const QString english =
        german.isEmpty() || group.terms.isEmpty()
            ? QString()
            : m_english.lemma(key(englishHeadword(group.terms.first()), u"en"_s));
    const QList<QList<WordNet::Sense>> senses =
        english.isEmpty() ? QList<QList<WordNet::Sense>>() : m_english.wordnet().senses(english);
    if (!senses.isEmpty() && !senses.first().isEmpty()) {
        const QString& usual = m_english.wordnet().synsets()[senses.first().first().synset].pos;
        if (named.contains(usual))
            return usual;
    }
    return named.isEmpty() ? m_evidence.partsOfSpeech.value(wordKey).value(0) : named.first();
}

// A sense whose English words are common ones, that another source gives back, and that no
// special label marks comes first; the dictionary's own order decides between equals. A trade's
// sense of a common word ("play" of a machine) comes with rare companions ("clearance,
// backlash").
void EntryBuilder::rankMeanings(const FreeDict::Entry& article, const QString& wordKey,
                                RankedEntries& entries) const {
    for (const FreeDict::Group& group : article.groups) {
        QString pos = posName(article.pos.isEmpty() ? group.pos : article.pos);
        if (pos.isEmpty())
            pos = unwrittenPos(wordKey, group);
        // Terms of a special use go after the others.
        QStringList plain;
        QStringList marked;
        double sum = 0;
        bool backed = false;
        const QList<qsizetype> order = termOrder(group);
        for (qsizetype i = 0; i < order.size(); ++i) {
            const qsizetype t = order[i];
            const QString englishKey = key(englishHeadword(group.terms[t]), u"en"_s);
            const bool isSpecial = specialLabels(group.termLabels.value(t));
            (isSpecial ? marked : plain) << group.terms[t];
            if (i < commonnessTerms)
                sum += m_english.commonness(englishKey) - (isSpecial ? m_weights.special : 0.0);
            backed = backed || m_draft.confirmed.value(wordKey).contains(qHash(englishKey)) ||
                     m_evidence.german.confirmations(m_ding, wordKey, englishKey) > 0;
        }
        const double commonness =
            sum / double(std::min<qsizetype>(std::max<qsizetype>(group.terms.size(), 1),
                                             commonnessTerms));
        // A card shows a few terms of a sense and a short example; a very large dictionary
        // keeps the room for words rather than labels, which cards do not show.
        const QStringList shown =
            (plain + marked)
                .first(std::min<qsizetype>(plain.size() + marked.size(), maxGlossTerms));
        Ranked meaning{
            {shown.join(u", "_s), std::nullopt,
             m_evidence.articles.size() > largeDictionary ? QStringList() : group.labels},
            0};
        if (!group.examples.isEmpty() &&
            group.examples.first().first.size() + group.examples.first().second.size() <=
                maxExample)
            meaning.meaning.example = group.examples.first();
        qsizetype earlier = 0;
        for (const auto& entry : std::as_const(entries))
            earlier += entry.second.size();
        meaning.score = score(MeaningCandidate{commonness, backed, earlier}, m_weights);
        auto entry = std::find_if(entries.begin(), entries.end(),
                                  [&](const auto& e) { return e.first == pos; });
        if (entry == entries.end()) {
            entries.append({pos, {}});
            entry = entries.end() - 1;
        }
        entry->second.append(meaning);
    }
}

// The forms an article's references name: a verb's person forms ("ich gehe"), and where the
// language's nouns name their plurals so, the plural among the compounds.
void EntryBuilder::noteReferences(const FreeDict::Entry& article, const QString& wordKey) {
    static const QRegularExpression pronounForm(
        u"^(?:ich|du|er|sie|es|wir|ihr|er/sie|er/sie/es|ich/er/sie|ich/er/sie/es)\\s+(\\S+)$"_s);
    for (const QString& see : article.see) {
        const auto match = pronounForm.match(see);
        if (match.hasMatch() && posName(article.pos) == "verb"_L1) {
            const QString form = key(match.captured(1), m_evidence.code);
            if (form != wordKey)
                addForm(m_evidence, form, article.headword);
        }
        if (m_sources.referencesNamePlurals && !see.contains(u' ') &&
            see.size() <= article.headword.size() + 3 && see.size() > article.headword.size() &&
            folded(see).startsWith(folded(article.headword.chopped(1))))
            addForm(m_evidence, key(see, m_evidence.code), article.headword);
    }
}

void EntryBuilder::ownEntries() {
    const QString& lang = m_evidence.code;
    for (const FreeDict::Entry& article : std::as_const(m_evidence.articles)) {
        m_headwords.insert(key(article.headword, lang));
        if (singularNote().match(article.pos).hasMatch())
            m_singulars.insert(key(article.headword, lang));
    }
    std::map<QString, RankedEntries> ranked;
    QHash<QString, QString> ipaOf;
    for (FreeDict::Entry& slot : m_evidence.articles) {
        // Each article goes once read: its words live on in the entries.
        const FreeDict::Entry article = std::exchange(slot, {});
        const QString wordKey = key(article.headword, lang);
        if (pluralOfHeadword(article, wordKey))
            continue;
        if (formsOnly(article)) {
            for (const QString& see : article.see) {
                if (!see.contains(u' '))
                    appendUnique(m_evidence.forms[wordKey], see, 8);
            }
            continue;
        }
        // Long compounds are read more than said: their transcriptions would take much room.
        if (!ipaOf.contains(wordKey) && !article.ipa.isEmpty() && wordKey.size() <= maxIpaWord)
            ipaOf.insert(wordKey, u'/' + article.ipa + u'/');
        rankMeanings(article, wordKey, ranked[wordKey]);
        noteReferences(article, wordKey);
    }
    settle(ranked, ipaOf);
    // The articles live on in the words' entries.
    m_draft.largeSource = m_evidence.articles.size() > largeDictionary;
    m_evidence.articles = {};
    m_headwords = {};
    m_singulars = {};
}

void EntryBuilder::settle(std::map<QString, RankedEntries>& ranked,
                          const QHash<QString, QString>& ipaOf) {
    for (auto& [wordKey, entries] : ranked) {
        for (auto& entry : entries)
            std::stable_sort(entry.second.begin(), entry.second.end(),
                             [](const Ranked& a, const Ranked& b) { return a.score > b.score; });
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a.second.first().score > b.second.first().score;
        });
        Word& word = m_draft.words[wordKey];
        for (const auto& [pos, meanings] : std::as_const(entries)) {
            WordEntry entry{pos, ipaOf.value(wordKey), {}};
            for (const Ranked& meaning : meanings)
                entry.meanings << meaning.meaning;
            word.entries << entry;
        }
    }
}

QString EntryBuilder::baseWithEntries(const QString& wordKey) const {
    for (const QString& lemma : m_evidence.forms.value(wordKey)) {
        const QString lemmaKey = key(lemma, m_evidence.code);
        if (lemmaKey != wordKey && m_draft.hasEntries(lemmaKey))
            return lemmaKey;
    }
    for (const QString& base : Lexicon::derivedKeys(wordKey, m_sources.formRules)) {
        if (m_draft.hasEntries(base))
            return base;
    }
    return {};
}

void EntryBuilder::derivedEntries() {
    // A word without an article that is a form of one that has an article ("Hunde") is shown
    // as that form, not as a word of its own.
    QSet<QString> formsOfArticles;
    for (auto& [wordKey, word] : m_draft.words) {
        if (!word.entries.isEmpty())
            continue;
        if (const QString base = baseWithEntries(wordKey); !base.isEmpty()) {
            appendUnique(m_evidence.forms[wordKey], base, 8);
            formsOfArticles.insert(wordKey);
        }
    }
    // The first sense of each English word and part of speech, which leads its card.
    QHash<QString, QString> firstSenses;
    if (m_sources.leadsWithCommonWord) {
        for (const auto& [id, sense] : m_draft.senses) {
            const QString english = key(sense.english, u"en"_s);
            if (!sense.terms.isEmpty() && !firstSenses.contains(english + u'\t' + sense.pos))
                firstSenses.insert(english + u'\t' + sense.pos, id);
        }
    }
    for (auto& [wordKey, word] : m_draft.words) {
        if (formsOfArticles.contains(wordKey))
            continue;
        if (m_sources.leadsWithCommonWord)
            leadWithCommonWord(wordKey, word, firstSenses);
        senseEntries(wordKey, word);
    }
}

// The senses were ranked by every source: a word that leads the first sense of an English word
// that both directions pair it with is that word's common translation, and the English word a
// common meaning of it, ahead of the rarer words that the dictionary into English names first.
void EntryBuilder::leadWithCommonWord(const QString& wordKey, Word& word,
                                      const QHash<QString, QString>& firstSenses) const {
    if (word.entries.isEmpty() || word.entries.first().meanings.isEmpty())
        return;
    QStringList candidates;
    for (const WordEntry& entry : std::as_const(word.entries)) {
        for (const Meaning& meaning : entry.meanings)
            candidates += Lexicon::glossTerms(meaning.gloss);
    }
    for (const QString& id : std::as_const(word.senses))
        candidates << m_draft.senses.at(id).english;
    const SenseLine* best = nullptr;
    double bestCommonness = 0;
    for (const QString& candidate : std::as_const(candidates)) {
        const QString english = key(candidate, u"en"_s);
        if (m_draft.fact(wordKey, english).directions != 3)
            continue;
        for (const QString& pos : {word.entries.first().pos, QString()}) {
            const auto id = firstSenses.constFind(english + u'\t' + pos);
            if (id == firstSenses.constEnd())
                continue;
            const SenseLine& sense = m_draft.senses.at(*id);
            const double commonness = m_english.commonness(english);
            if (!sense.terms.isEmpty() && key(sense.terms.first(), m_evidence.code) == wordKey &&
                (!best || commonness > bestCommonness)) {
                best = &sense;
                bestCommonness = commonness;
            }
        }
    }
    const QStringList leading = Lexicon::glossTerms(word.entries.first().meanings.first().gloss);
    if (!best || key(leading.value(0), u"en"_s) == key(best->english, u"en"_s))
        return;
    auto entry = std::find_if(word.entries.begin(), word.entries.end(),
                              [&](const WordEntry& e) { return e.pos == best->pos; });
    if (entry == word.entries.end())
        entry = word.entries.insert(word.entries.end(),
                                    WordEntry{best->pos, word.entries.first().ipa, {}});
    const QString gloss = best->gloss.isEmpty()
                              ? best->english
                              : best->english + u" ("_s + bracketed(best->gloss) + u')';
    entry->meanings.prepend({gloss, std::nullopt, {}});
    std::rotate(word.entries.begin(), entry, entry + 1);
}

// Words that only other dictionaries know get entries from the senses they translate, the
// senses in which they stand first and the common ones first; a short entry of the dictionary
// into English gets the senses it does not name.
void EntryBuilder::senseEntries(const QString& wordKey, Word& word) {
    const QString& lang = m_evidence.code;
    qsizetype count = 0;
    QSet<QString> named;
    for (const WordEntry& entry : std::as_const(word.entries)) {
        for (const Meaning& meaning : entry.meanings) {
            ++count;
            for (const QString& term : Lexicon::glossTerms(meaning.gloss))
                named.insert(key(term, u"en"_s));
        }
    }
    QStringList ids = word.senses;
    QHash<QString, double> weight;
    for (const QString& id : std::as_const(ids)) {
        const SenseLine& sense = m_draft.senses[id];
        qsizetype position = 3;
        for (qsizetype i = 0; i < sense.terms.size() && i < position; ++i) {
            if (key(sense.terms[i], lang) == wordKey)
                position = i;
        }
        const QString english = key(sense.english, u"en"_s);
        const PairFacts fact = m_draft.fact(wordKey, english);
        weight[id] =
            score(SenseCandidate{m_english.commonness(english), position, sense.count, !fact.plain,
                                 fact.place, m_draft.ordered, fact.directions == 0},
                  m_weights);
    }
    std::stable_sort(ids.begin(), ids.end(), [&](const QString& a, const QString& b) {
        return weight.value(a) > weight.value(b);
    });
    word.senses = ids.first(std::min(ids.size(), maxSensesPerWord));
    for (const QString& id : std::as_const(ids)) {
        if (count >= derivedMeanings && !named.isEmpty())
            break;
        const SenseLine& sense = m_draft.senses[id];
        if (sense.terms.isEmpty() || named.contains(key(sense.english, u"en"_s)))
            continue;
        named.insert(key(sense.english, u"en"_s));
        ++count;
        WordEntry* entry = nullptr;
        for (WordEntry& existing : word.entries) {
            if (existing.pos == sense.pos)
                entry = &existing;
        }
        if (!entry) {
            word.entries.append({sense.pos, {}, {}});
            entry = &word.entries.last();
        }
        const QString gloss = sense.gloss.isEmpty()
                                  ? sense.english
                                  : sense.english + u" ("_s + bracketed(sense.gloss) + u')';
        entry->meanings.append({gloss, std::nullopt, {}});
    }
}

} // namespace tivela::packbuild
