#include "Terms.h"

#include "core/Lexicon.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <malloc.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

QString key(const QString& word, const QString& lang) {
    return Lexicon::key(word, lang);
}

int wordCount(const QString& text) {
    return int(text.split(u' ', Qt::SkipEmptyParts).size());
}

QString posName(const QString& notes) {
    static const QHash<QString, QString> names{{u"n"_s, u"noun"_s},
                                               {u"s"_s, u"noun"_s},
                                               {u"noun"_s, u"noun"_s},
                                               {u"masc"_s, u"noun"_s},
                                               {u"fem"_s, u"noun"_s},
                                               {u"neut"_s, u"noun"_s},
                                               {u"pl"_s, u"noun"_s},
                                               {u"v"_s, u"verb"_s},
                                               {u"vt"_s, u"verb"_s},
                                               {u"vi"_s, u"verb"_s},
                                               {u"verb"_s, u"verb"_s},
                                               {u"adj"_s, u"adj"_s},
                                               {u"adv"_s, u"adv"_s},
                                               {u"prep"_s, u"prep"_s},
                                               {u"pron"_s, u"pron"_s},
                                               {u"conj"_s, u"conj"_s},
                                               {u"art"_s, u"det"_s},
                                               {u"det"_s, u"det"_s},
                                               {u"num"_s, u"num"_s},
                                               {u"interj"_s, u"intj"_s},
                                               {u"intj"_s, u"intj"_s},
                                               {u"N"_s, u"noun"_s},
                                               {u"V"_s, u"verb"_s},
                                               {u"ADJ"_s, u"adj"_s},
                                               {u"A"_s, u"adj"_s},
                                               {u"ADV"_s, u"adv"_s},
                                               {u"conjunction"_s, u"conj"_s},
                                               {u"preposition"_s, u"prep"_s},
                                               {u"pronoun"_s, u"pron"_s},
                                               {u"adverb"_s, u"adv"_s},
                                               {u"interjection"_s, u"intj"_s},
                                               {u"numeral"_s, u"num"_s}};
    static const QRegularExpression separator(u"[,\\s]+"_s);
    for (const QString& token : notes.split(separator, Qt::SkipEmptyParts)) {
        if (const auto found = names.constFind(token); found != names.constEnd())
            return *found;
    }
    return {};
}

bool specialLabels(const QStringList& labels) {
    return !labels.isEmpty() && std::all_of(labels.begin(), labels.end(), FreeDict::specialist);
}

bool isWordNetPos(const QString& pos) {
    return pos == "noun"_L1 || pos == "verb"_L1 || pos == "adj"_L1 || pos == "adv"_L1;
}

QString spacedTerm(const QString& term, const std::function<bool(const QString&)>& isWord,
                   const std::function<bool(const QString&)>& isPhrase) {
    // Each part at least two letters: "a" and "I" would split half the dictionary.
    constexpr qsizetype shortest = 2;
    const bool letters =
        std::all_of(term.begin(), term.end(), [](QChar c) { return c.isLetter(); });
    const QString lower = term.toLower();
    if (!letters || term.size() < 2 * shortest || isWord(lower))
        return term;
    QString found;
    for (qsizetype at = shortest; at <= term.size() - shortest; ++at) {
        if (!isPhrase(lower.left(at) + u' ' + lower.mid(at)))
            continue;
        if (!found.isEmpty())
            return term;
        found = term.left(at) + u' ' + term.mid(at);
    }
    return found.isEmpty() ? term : found;
}

QString cognateKey(const QString& text) {
    static const QList<std::pair<QRegularExpression, QString>> rules{
        {QRegularExpression(u"qu"_s), u"kw"_s},
        {QRegularExpression(u"ph"_s), u"f"_s},
        {QRegularExpression(u"th"_s), u"t"_s},
        {QRegularExpression(u"ck"_s), u"c"_s},
        {QRegularExpression(u"k"_s), u"c"_s},
        {QRegularExpression(u"[yj]"_s), u"i"_s},
        {QRegularExpression(u"z"_s), u"s"_s},
        {QRegularExpression(u"(.)\\1"_s), u"\\1"_s},
        {QRegularExpression(u"(?<=[a-z]{3})e$"_s), QString()}};
    QString key = text;
    for (const auto& [pattern, replacement] : rules)
        key.replace(pattern, replacement);
    return key;
}

QString englishHeadword(QString text) {
    static const QRegularExpression notes(u"\\([^)]*\\)|\\[[^\\]]*\\]|<[^>]*>"_s);
    static const QRegularExpression fillers(
        u"\\b(sth|sb|so|sth\\.|sb\\.|so\\.|etw\\.|jdn\\.|jdm\\.|jds\\.)(?=\\s|$)"_s);
    text.remove(notes);
    text.remove(fillers);
    text = text.simplified();
    if (text.startsWith(u"to "_s))
        text = text.mid(3);
    while (text.endsWith(u'.') || text.endsWith(u'!') || text.endsWith(u'?'))
        text.chop(1);
    return text.trimmed();
}

bool usableTerm(const QString& text) {
    return !text.isEmpty() && wordCount(text) <= maxWordsInTerm && !text.contains(u'…') &&
           !text.contains(u'{') && !text.contains(u'"') && !text.contains(u"..."_s);
}

bool garbled(const FreeDict::Entry& entry) {
    return !entry.ipa.contains(u'ˈ') && entry.ipa.size() * 2 > entry.headword.size() * 3 + 4;
}

QString folded(const QString& word) {
    QString text = word.toLower();
    text.replace(u'ä', u'a').replace(u'ö', u'o').replace(u'ü', u'u');
    return text;
}

QString bracketed(QString definition) {
    definition.replace(u'(', u'[').replace(u')', u']');
    return definition;
}

QByteArray compact(const QJsonValue& value) {
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

void appendUnique(QStringList& list, const QString& item, qsizetype limit) {
    if (list.size() < limit && !list.contains(item))
        list << item;
}

void releaseMemory(int line) {
    malloc_trim(0);
    if (!qEnvironmentVariableIsSet("TIVELA_PACKBUILD_MEMORY"))
        return;
    // The peak so far tells which step between two calls needed the most.
    QFile status(u"/proc/self/status"_s);
    QByteArray peak;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : status.readAll().split('\n'))
            if (l.startsWith("VmHWM:"))
                peak = l.mid(6).simplified();
    }
    std::fprintf(stderr, "memory at %d: %zu MB in use, peak %s\n", line, mallinfo2().uordblks >> 20,
                 peak.constData());
}

} // namespace tivela::packbuild
