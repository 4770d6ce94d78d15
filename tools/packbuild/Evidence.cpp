#include "Evidence.h"

#include "English.h"
#include "Terms.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

size_t pairHash(const QString& englishKey, const QString& term) {
    return qHashMulti(0, englishKey, term);
}

} // namespace

DictionaryReader::DictionaryReader(English& english, Evidence& evidence)
    : m_english(english)
    , m_evidence(evidence) {
}

// How often the dictionaries themselves use a word, in headwords, terms and examples: the
// common words of a language turn up everywhere.
void DictionaryReader::mention(const QString& text) {
    static const QRegularExpression separator(u"[^\\w'-]+"_s,
                                              QRegularExpression::UseUnicodePropertiesOption);
    for (const QString& token : text.split(separator, Qt::SkipEmptyParts))
        ++m_evidence.mentions[key(token, m_evidence.code)];
}

bool attachable(const English& english, const QString& word, const QString& pos) {
    const QString englishKey = key(word, u"en"_s);
    if (english.isLemma(englishKey))
        return true;
    return !english.isForm(englishKey) && wordCount(word) == 1 && !isWordNetPos(pos);
}

bool DictionaryReader::readFromEnglish(FreeDict& dictionary, const QString& base,
                                       FreeDict::Style style) {
    QString ignored;
    // A capitalised headword beside a lower-case one is what is left of a name ("The" for
    // "The Hague").
    QSet<QString> lowerCase;
    const auto headline = [&](FreeDict::Entry&& entry) {
        if (entry.headword.front().isLower())
            lowerCase.insert(entry.headword);
    };
    if (!dictionary.read(base, style, &ignored, headline, true))
        return false;
    return dictionary.read(base, style, &ignored,
                           [&](FreeDict::Entry&& entry) { fromEnglishArticle(entry, lowerCase); });
}

void DictionaryReader::fromEnglishArticle(const FreeDict::Entry& entry,
                                          const QSet<QString>& lowerCase) {
    const QString english = englishHeadword(entry.headword);
    if (!usableTerm(english) ||
        (entry.headword.front().isUpper() && lowerCase.contains(entry.headword.toLower())))
        return;
    if (garbled(entry))
        return;
    // Transcriptions with stress marks are the carefully made ones.
    const QString englishKey = key(english, u"en"_s);
    if (entry.ipa.contains(u'ˈ') && wordCount(english) == 1)
        m_english.noteIpa(m_evidence.code, englishKey, u'/' + entry.ipa + u'/');
    for (const FreeDict::Group& group : entry.groups) {
        const QString pos = posName(entry.pos.isEmpty() ? group.pos : entry.pos);
        ++m_line;
        for (qsizetype t = 0; t < group.terms.size(); ++t) {
            const QString& term = group.terms[t];
            mention(term);
            if (!usableTerm(term) || !attachable(m_english, english, pos))
                continue;
            Pair pair{english, pos, term, m_rank++, fromEnglish, {}, {}};
            pair.special = specialLabels(group.termLabels.value(t));
            pair.place = &group == &entry.groups.first() ? (t == 0 ? 0 : 1) : 2;
            pair.line = m_line;
            m_evidence.pairs.append(pair);
        }
        for (const auto& example : group.examples)
            mention(example.second);
    }
}

bool DictionaryReader::readToEnglish(FreeDict& dictionary, const QString& base,
                                     FreeDict::Style style) {
    QString ignored;
    const bool read = dictionary.read(base, style, &ignored, [&](FreeDict::Entry&& entry) {
        toEnglishArticle(std::move(entry));
    });
    dropFormsOfVerbs();
    return read;
}

void DictionaryReader::toEnglishArticle(FreeDict::Entry&& entry) {
    const QString& lang = m_evidence.code;
    mention(entry.headword);
    const auto isWord = [this](const QString& word) {
        const QString english = key(word, u"en"_s);
        return m_english.isLemma(english) || m_english.isForm(english) ||
               m_english.listedInLowerCase(english);
    };
    const auto isPhrase = [this](const QString& phrase) {
        return m_english.isLemma(key(phrase, u"en"_s));
    };
    for (FreeDict::Group& group : entry.groups) {
        for (QString& english : group.terms)
            english = spacedTerm(english, isWord, isPhrase);
    }
    const bool bare = entry.pos.isEmpty() &&
                      std::all_of(entry.groups.begin(), entry.groups.end(),
                                  [](const FreeDict::Group& g) { return g.pos.isEmpty(); });
    for (const FreeDict::Group& group : entry.groups) {
        for (const QString& english : group.terms) {
            const QString englishKey = key(englishHeadword(english), u"en"_s);
            if (!bare)
                m_ownWords.insert(pairHash(englishKey, entry.headword));
            else if (!entry.see.isEmpty())
                m_formArticles.append({englishKey, entry.headword, entry.see});
        }
    }
    for (const FreeDict::Group& group : entry.groups) {
        for (const auto& example : group.examples)
            mention(example.first);
    }
    if (!usableTerm(entry.headword) || key(entry.headword, lang).isEmpty() || garbled(entry))
        return;
    for (const FreeDict::Group& group : entry.groups) {
        const QString pos = posName(entry.pos.isEmpty() ? group.pos : entry.pos);
        for (qsizetype t = 0; t < group.terms.size(); ++t) {
            const QString english = englishHeadword(group.terms[t]);
            if (!usableTerm(english) || !attachable(m_english, english, pos))
                continue;
            Pair pair{english, pos, entry.headword, m_rank++, fromLanguage, {}, {}};
            pair.special = specialLabels(group.termLabels.value(t));
            m_evidence.pairs.append(pair);
        }
    }
    m_evidence.articles.append(std::move(entry));
}

// A form whose base form translates the same English word ("gelaufen" beside "laufen" for
// "run") is no term of its own: as the dictionaries agree on it both ways, it would lead.
void DictionaryReader::dropFormsOfVerbs() {
    const QString& lang = m_evidence.code;
    if (!m_formArticles.isEmpty()) {
        QSet<size_t> verbs;
        for (const Pair& pair : std::as_const(m_evidence.pairs)) {
            // A line that names no part of speech may hold the verb too.
            if (pair.pos == "verb"_L1 || pair.pos.isEmpty())
                verbs.insert(
                    pairHash(key(pair.english, u"en"_s), key(englishHeadword(pair.term), lang)));
        }
        QSet<size_t> forms;
        for (const FormArticle& article : std::as_const(m_formArticles)) {
            const size_t form = pairHash(article.englishKey, article.headword);
            if (m_ownWords.contains(form))
                continue;
            const QString formKey = key(article.headword, lang);
            for (const QString& base : article.bases) {
                const QString baseKey = key(englishHeadword(base), lang);
                if (baseKey != formKey && verbs.contains(pairHash(article.englishKey, baseKey))) {
                    forms.insert(form);
                    break;
                }
            }
        }
        m_evidence.pairs.removeIf([&](const Pair& pair) {
            return forms.contains(pairHash(key(pair.english, u"en"_s), pair.term));
        });
    }
    m_formArticles = {};
    m_ownWords = {};
}

void restoreSpaces(Evidence& evidence) {
    const QString& lang = evidence.code;
    QHash<QString, QString> spaced;
    QSet<QString> ambiguous;
    const auto note = [&](const QString& text) {
        if (wordCount(text) < 2)
            return;
        const QString glued = key(text, lang).remove(u' ');
        const auto found = spaced.constFind(glued);
        if (found == spaced.constEnd())
            spaced.insert(glued, text);
        else if (key(*found, lang) != key(text, lang))
            ambiguous.insert(glued);
    };
    QSet<QString> headwords;
    for (const FreeDict::Entry& entry : evidence.articles) {
        note(entry.headword);
        headwords.insert(key(entry.headword, lang));
    }
    for (const Pair& pair : evidence.pairs)
        note(pair.term);
    for (Pair& pair : evidence.pairs) {
        if (wordCount(pair.term) != 1)
            continue;
        const QString k = key(pair.term, lang);
        // A word the analyser reads ("abordo", a form of "abordar") is a word of its own.
        if (headwords.contains(k) || ambiguous.contains(k) || evidence.partsOfSpeech.contains(k) ||
            evidence.forms.contains(k))
            continue;
        if (const auto found = spaced.constFind(k); found != spaced.constEnd())
            pair.term = *found;
    }
}

} // namespace tivela::packbuild
