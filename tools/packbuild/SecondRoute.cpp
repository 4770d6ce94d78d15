#include "SecondRoute.h"

#include "Apertium.h"
#include "FreeDict.h"
#include "Terms.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

std::optional<QString> SecondRoute::loadDictionary(const QString& base, const QString& lang) {
    m_lang = lang;
    QString ignored;
    FreeDict dictionary;
    const bool read =
        dictionary.read(base, FreeDict::Style::FreeDict, &ignored, [&](FreeDict::Entry&& entry) {
            const QString headwordKey = key(entry.headword, lang);
            if (headwordKey.isEmpty() || !usableTerm(entry.headword) || garbled(entry))
                return;
            QList<Ding::Sense>& senses = m_articles[headwordKey];
            for (const FreeDict::Group& group : entry.groups) {
                const QString pos = posName(entry.pos.isEmpty() ? group.pos : entry.pos);
                for (qsizetype t = 0; t < group.terms.size(); ++t) {
                    const QString english = englishHeadword(group.terms[t]);
                    if (!usableTerm(english) || specialLabels(group.termLabels.value(t)))
                        continue;
                    const QString englishKey = key(english, u"en"_s);
                    if (std::none_of(senses.begin(), senses.end(), [&](const Ding::Sense& s) {
                            return key(s.english, u"en"_s) == englishKey && s.pos == pos;
                        }))
                        senses.append({english, pos});
                }
            }
            if (senses.isEmpty())
                m_articles.remove(headwordKey);
        });
    if (!read)
        return std::nullopt;
    return dictionary.infoField(u"Edition"_s);
}

QStringList SecondRoute::headwords() const {
    QStringList words = m_articles.keys();
    std::sort(words.begin(), words.end());
    return words;
}

void SecondRoute::addTranslation(const QString& wordKey, const QString& between,
                                 const QString& pos) {
    const auto article = m_articles.constFind(key(between, m_lang));
    if (wordKey.isEmpty() || article == m_articles.constEnd())
        return;
    QList<Ding::Sense>& reached = m_reached[wordKey];
    for (const Ding::Sense& sense : *article) {
        // A line of another part of speech is another word's ("vinde": to win, a winch).
        if (!pos.isEmpty() && !sense.pos.isEmpty() && sense.pos != pos)
            continue;
        const QString englishKey = key(sense.english, u"en"_s);
        if (std::none_of(reached.begin(), reached.end(), [&](const Ding::Sense& s) {
                return key(s.english, u"en"_s) == englishKey;
            }))
            reached.append({sense.english, sense.pos.isEmpty() ? pos : sense.pos});
    }
    if (reached.isEmpty())
        m_reached.remove(wordKey);
}

QStringList SecondRoute::words() const {
    QStringList words = m_reached.keys();
    std::sort(words.begin(), words.end());
    return words;
}

namespace {

// Each word's base-form readings with a part of speech, names left out.
void readUnits(const QList<QList<Apertium::Unit>>& analyses, QList<Apertium::Unit>& units,
               QList<qsizetype>& owners) {
    for (qsizetype i = 0; i < analyses.size(); ++i) {
        for (const Apertium::Unit& unit : analyses[i]) {
            if (!unit.pos().isEmpty() && unit.pos() != "name"_L1) {
                units << unit;
                owners << i;
            }
        }
    }
}

// The words of the language that the dictionary's headwords translate back into.
std::optional<QStringList> wordsBack(const SecondRoutePaths& paths, const SecondRoute& route,
                                     QString* error) {
    const QStringList headwords = route.headwords();
    const auto analyses = Apertium::analyse(paths.reverseAnalyser, headwords, error);
    if (!analyses)
        return std::nullopt;
    QList<Apertium::Unit> units;
    QList<qsizetype> owners;
    readUnits(*analyses, units, owners);
    const auto translations = Apertium::translate(paths.back, units, error);
    if (!translations)
        return std::nullopt;
    QStringList words;
    for (const QList<Apertium::Unit>& found : *translations) {
        for (const Apertium::Unit& unit : found)
            words << unit.text();
    }
    return words;
}

} // namespace

bool translateRoute(const SecondRoutePaths& paths, const QString& lang, QStringList words,
                    SecondRoute& route, QString* error) {
    const auto back = wordsBack(paths, route, error);
    if (!back)
        return false;
    words += *back;
    for (QString& word : words)
        word = key(word, lang);
    words.removeIf([](const QString& word) { return !usableTerm(word); });
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    const auto analyses = Apertium::analyse(paths.analyser, words, error);
    if (!analyses)
        return false;
    QList<Apertium::Unit> units;
    QList<qsizetype> owners;
    readUnits(*analyses, units, owners);
    const auto translations = Apertium::translate(paths.there, units, error);
    if (!translations)
        return false;
    for (qsizetype u = 0; u < units.size(); ++u) {
        for (const Apertium::Unit& unit : (*translations)[u])
            route.addTranslation(words[owners[u]], unit.text(), unit.pos());
    }
    return true;
}

} // namespace tivela::packbuild
