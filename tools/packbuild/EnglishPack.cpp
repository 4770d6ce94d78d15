#include "EnglishPack.h"

#include "English.h"
#include "Terms.h"

#include "core/Lexicon.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

// How many senses of each part of speech a card shows: every part of speech keeps its first
// sense; the rest of the card's room goes to the senses seen most often.
QList<qsizetype> shownSenses(const QList<QList<WordNet::Sense>>& lists) {
    QList<qsizetype> taken(lists.size(), 0);
    qsizetype room = Lexicon::maxMeanings;
    for (qsizetype l = 0; l < lists.size() && room > 0; ++l, --room)
        taken[l] = 1;
    while (room > 0) {
        qsizetype best = -1;
        for (qsizetype l = 0; l < lists.size(); ++l) {
            if (taken[l] < lists[l].size() &&
                (best < 0 || lists[l][taken[l]].count > lists[best][taken[best]].count))
                best = l;
        }
        if (best < 0)
            break;
        ++taken[best];
        --room;
    }
    return taken;
}

// A sense's definition and an example, one that uses the lemma where there is one.
QJsonArray senseValue(const WordNet::Synset& synset, const QString& lemma) {
    QJsonArray sense{synset.definition};
    QString example;
    for (const QString& candidate : synset.examples) {
        if (candidate.contains(lemma, Qt::CaseInsensitive)) {
            example = candidate;
            break;
        }
    }
    if (example.isEmpty())
        example = synset.examples.value(0);
    if (!example.isEmpty())
        sense.append(QJsonArray{QJsonArray{example}});
    return sense;
}

// Whether WordNet writes a lemma only with capitals, every sense of it a name or an
// abbreviation ("Oder", "MIT"): typed in lower case, it is more likely another language's word.
bool onlyCapitalised(const WordNet& wordnet, const QString& k, const QString& lemma) {
    bool spelt = false;
    for (const QList<WordNet::Sense>& list : wordnet.senses(lemma)) {
        for (const WordNet::Sense& sense : list) {
            for (const QString& word : wordnet.synsets()[sense.synset].words) {
                if (key(word, u"en"_s) != k)
                    continue;
                if (word == word.toLower())
                    return false;
                spelt = true;
            }
        }
    }
    return spelt;
}

QByteArray lemmaLine(const English& english, const QString& k, const QString& lemma,
                     bool capitalised) {
    const WordNet& wordnet = english.wordnet();
    const QList<QList<WordNet::Sense>> lists = wordnet.senses(lemma);
    const QList<qsizetype> taken = shownSenses(lists);
    const QString ipa = english.ipa(k);
    QJsonArray entries;
    for (qsizetype l = 0; l < lists.size(); ++l) {
        if (taken[l] == 0)
            continue;
        QJsonArray senses;
        for (qsizetype s = 0; s < taken[l]; ++s)
            senses.append(senseValue(wordnet.synsets()[lists[l][s].synset], lemma));
        const QString pos = wordnet.synsets()[lists[l][0].synset].pos;
        entries.append(QJsonArray{pos, ipa, QString(), senses});
    }
    QJsonObject record{{u"e"_s, entries}};
    if (capitalised)
        record.insert(u"cap"_s, true);
    return compact(record);
}

} // namespace

Lines englishLines(const English& english) {
    Lines lines;
    const WordNet& wordnet = english.wordnet();
    const QMap<QString, QString>& lemmas = english.lemmas();
    QSet<QString> capitalised;
    for (auto it = lemmas.cbegin(); it != lemmas.cend(); ++it)
        if (onlyCapitalised(wordnet, it.key(), it.value()))
            capitalised.insert(it.key());
    // A word is a name only when nothing writes it in lower case: not the word list, and no
    // lemma it is a form of ("banks" of "bank", "led" of "lead").
    QSet<QString> names;
    for (auto it = lemmas.cbegin(); it != lemmas.cend(); ++it) {
        const QStringList of = english.forms().value(it.key());
        const bool name = capitalised.contains(it.key()) && !english.listedInLowerCase(it.key()) &&
                          std::all_of(of.cbegin(), of.cend(), [&](const QString& lemma) {
                              return capitalised.contains(lemma);
                          });
        if (name)
            names.insert(it.key());
        lines.emplace(u"w"_s + it.key(), lemmaLine(english, it.key(), it.value(), name));
    }
    for (auto it = english.forms().cbegin(); it != english.forms().cend(); ++it) {
        if (english.isLemma(it.key()) || it.key().isEmpty())
            continue;
        QStringList found;
        for (const QString& base : it.value())
            if (english.isLemma(base))
                found << base;
        // The commonest lemma first: "saw" is a form of "see" before it is one of "saw".
        std::stable_sort(found.begin(), found.end(), [&](const QString& a, const QString& b) {
            return wordnet.count(english.lemma(a)) > wordnet.count(english.lemma(b));
        });
        if (found.isEmpty())
            continue;
        QJsonObject record{{u"lm"_s, QJsonArray::fromStringList(found)}};
        // "frauen" of "Frau" is as much a name as its lemma.
        if (!english.listedInLowerCase(it.key()) &&
            std::all_of(found.cbegin(), found.cend(),
                        [&](const QString& base) { return names.contains(base); }))
            record.insert(u"cap"_s, true);
        lines.emplace(u"w"_s + it.key(), compact(record));
    }
    return lines;
}

} // namespace tivela::packbuild
