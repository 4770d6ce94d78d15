#include "PackLines.h"

#include "Terms.h"

#include "core/Lexicon.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

constexpr qsizetype longCompound = 11;

QByteArray rulesLine(const QList<LexiconPack::FormRule>& rules) {
    QJsonArray list;
    for (const LexiconPack::FormRule& rule : rules)
        list.append(rule.prefix.isEmpty() ? QJsonArray{rule.ending, rule.replacement}
                                          : QJsonArray{rule.ending, rule.replacement, rule.prefix});
    return compact(list);
}

void senseLines(const std::map<QString, SenseLine>& senses, Lines& lines) {
    std::map<QString, QStringList> english;
    for (const auto& [id, sense] : senses) {
        if (sense.terms.isEmpty())
            continue;
        QJsonArray terms;
        for (const QString& term : sense.terms)
            terms.append(QJsonArray{term});
        lines.emplace(u"s"_s + id,
                      compact(QJsonArray{sense.english, sense.pos, sense.gloss, terms}));
        english[key(sense.english, u"en"_s)] << id;
        // A reader takes a sense only under the word it names: each other spelling names a
        // copy of its own, whose id tells it from the senses WordNet numbers for that spelling.
        for (const QString& spelling : sense.spellings) {
            const QString copy = id + u'/' + key(spelling, u"en"_s);
            const QByteArray value = compact(QJsonArray{spelling, sense.pos, sense.gloss, terms});
            if (lines.emplace(u"s"_s + copy, value).second)
                english[key(spelling, u"en"_s)] << copy;
        }
    }
    for (auto& [word, ids] : english) {
        std::sort(ids.begin(), ids.end());
        lines.emplace(u"x"_s + word, compact(QJsonArray::fromStringList(ids)));
    }
}

QJsonArray entriesValue(const QList<WordEntry>& entries) {
    QJsonArray values;
    qsizetype room = Lexicon::maxMeanings;
    for (const WordEntry& entry : entries) {
        QJsonArray meanings;
        for (const Meaning& meaning : entry.meanings) {
            if (room == 0)
                break;
            --room;
            QJsonArray sense{meaning.gloss};
            if (meaning.example || !meaning.tags.isEmpty()) {
                sense.append(meaning.example ? QJsonArray{QJsonArray{meaning.example->first,
                                                                     meaning.example->second}}
                                             : QJsonArray{});
            }
            if (!meaning.tags.isEmpty())
                sense.append(QJsonArray::fromStringList(meaning.tags));
            meanings.append(sense);
        }
        if (!meanings.isEmpty())
            values.append(QJsonArray{entry.pos, entry.ipa, QString(), meanings});
    }
    return values;
}

} // namespace

Lines packLines(Draft& draft, const QString& lang, const QList<LexiconPack::FormRule>& rules) {
    Lines lines;
    if (!rules.isEmpty())
        lines.emplace(u"f"_s, rulesLine(rules));
    senseLines(draft.senses, lines);
    draft.senses = {};
    std::map<QString, Word>& words = draft.words;
    for (auto it = words.begin(); it != words.end(); it = words.erase(it)) {
        const QString& wordKey = it->first;
        const Word& word = it->second;
        // Only a word or two is looked up; a long compound or a pair of words that translates
        // no English word is rare enough to leave out when room is short.
        if (wordKey.isEmpty() || key(wordKey, lang) != wordKey || wordKey.count(u' ') > 1)
            continue;
        if (word.senses.isEmpty() && word.lemmas.isEmpty() && draft.largeSource &&
            (wordKey.contains(u' ') || wordKey.size() >= longCompound))
            continue;
        QJsonObject record;
        if (!word.entries.isEmpty())
            record.insert(u"e"_s, entriesValue(word.entries));
        else if (!word.lemmas.isEmpty())
            record.insert(u"lm"_s, QJsonArray::fromStringList(word.lemmas));
        if (!word.senses.isEmpty())
            record.insert(u"s"_s, QJsonArray::fromStringList(word.senses));
        if (!record.isEmpty())
            lines.emplace(u"w"_s + wordKey, compact(record));
    }
    return lines;
}

} // namespace tivela::packbuild
