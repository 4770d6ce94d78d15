#include "Ding.h"

#include "FreeDict.h"
#include "Terms.h"

#include <algorithm>
#include <bit>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

size_t pairHash(const QString& englishKey, size_t germanHash) {
    return qHashMulti(0, englishKey, germanHash);
}

} // namespace

size_t Ding::germanHash(const QString& germanKey) {
    return qHash(germanKey) & ~size_t(1);
}

void Ding::load(const QString& dictd) {
    m_loaded = true;
    QString ignored;
    const auto add = [&](const QString& english, const QString& term, const QStringList& labels) {
        const QString englishKey = key(englishHeadword(english), u"en"_s);
        const QString germanKey = key(term, u"de"_s);
        if (!englishKey.isEmpty() && !germanKey.isEmpty() && !specialLabels(labels))
            m_pairs.push_back(pairHash(englishKey, germanHash(germanKey)));
    };
    FreeDict dictionary;
    dictionary.read(dictd + u"/freedict-eng-deu"_s, FreeDict::Style::FreeDict, &ignored,
                    [&](FreeDict::Entry&& entry) {
                        for (const FreeDict::Group& group : entry.groups)
                            for (qsizetype t = 0; t < group.terms.size(); ++t)
                                add(entry.headword, group.terms[t], group.termLabels.value(t));
                    });
    dictionary.read(dictd + u"/freedict-deu-eng"_s, FreeDict::Style::FreeDict, &ignored,
                    [&](FreeDict::Entry&& entry) {
                        for (const FreeDict::Group& group : entry.groups)
                            for (qsizetype t = 0; t < group.terms.size(); ++t)
                                add(group.terms[t], entry.headword, group.termLabels.value(t));
                        addSenses(entry);
                    });
    std::sort(m_pairs.begin(), m_pairs.end());
    m_pairs.erase(std::unique(m_pairs.begin(), m_pairs.end()), m_pairs.end());
    m_pairs.shrink_to_fit();
}

// The first plain term of each line: a word's senses as a route into English reads them.
void Ding::addSenses(const FreeDict::Entry& entry) {
    constexpr qsizetype maxSenses = 4;
    const QString germanKey = key(entry.headword, u"de"_s);
    if (germanKey.isEmpty() || germanKey.contains(u' '))
        return;
    QList<Sense>& senses = m_senses[germanHash(germanKey)];
    for (const FreeDict::Group& group : entry.groups) {
        for (qsizetype t = 0; t < group.terms.size() && senses.size() < maxSenses; ++t) {
            const QString english = englishHeadword(group.terms[t]);
            if (specialLabels(group.termLabels.value(t)) || !usableTerm(english))
                continue;
            senses.append({english, posName(entry.pos.isEmpty() ? group.pos : entry.pos)});
            break;
        }
    }
    if (senses.isEmpty())
        m_senses.remove(germanHash(germanKey));
}

bool Ding::pairs(const QString& englishKey, size_t germanHash) const {
    return std::binary_search(m_pairs.begin(), m_pairs.end(), pairHash(englishKey, germanHash));
}

QStringList GermanWords::load(const QString& dictd, const QString& freedict, const QString& lang) {
    QString ignored;
    const auto add = [&](const QString& word, const QString& germanWord, size_t direction) {
        const QString wordKey = key(word, lang);
        const size_t german = Ding::germanHash(key(germanWord, u"de"_s)) | direction;
        std::vector<size_t>& list = m_words[wordKey];
        if (!wordKey.isEmpty() && std::find(list.begin(), list.end(), german) == list.end())
            list.push_back(german);
    };
    // Their articles hold a line of terms and then the source language's own definitions,
    // like the Polish ones.
    QStringList names;
    FreeDict dictionary;
    if (dictionary.read(dictd + u"/freedict-"_s + freedict + u"-deu"_s,
                        FreeDict::Style::PolishEnglish, &ignored, [&](FreeDict::Entry&& entry) {
                            const QString pos = posName(entry.pos);
                            if (!pos.isEmpty())
                                appendUnique(m_parts[key(entry.headword, lang)], pos, 8);
                            for (const FreeDict::Group& group : entry.groups)
                                for (const QString& term : group.terms)
                                    add(entry.headword, term, 0);
                        }))
        names << freedict + u"-deu "_s + dictionary.infoField(u"Edition"_s);
    if (dictionary.read(dictd + u"/freedict-deu-"_s + freedict, FreeDict::Style::PolishEnglish,
                        &ignored, [&](FreeDict::Entry&& entry) {
                            for (const FreeDict::Group& group : entry.groups)
                                for (const QString& term : group.terms)
                                    add(term, entry.headword, 1);
                        }))
        names << u"deu-"_s + freedict + u' ' + dictionary.infoField(u"Edition"_s);
    return names;
}

int GermanWords::confirmations(const Ding& ding, const QString& termKey,
                               const QString& englishKey) const {
    const auto found = m_words.constFind(termKey);
    if (found == m_words.constEnd())
        return 0;
    int directions = 0;
    for (const size_t german : *found) {
        if (ding.pairs(englishKey, german & ~size_t(1)))
            directions |= 1 << (german & 1);
    }
    return std::popcount(unsigned(directions));
}

} // namespace tivela::packbuild
