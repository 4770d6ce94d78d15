#include "Loanwords.h"

#include "Apertium.h"
#include "English.h"
#include "Evidence.h"
#include "Terms.h"

#include <QHash>
#include <QRegularExpression>

#include <map>

using namespace Qt::StringLiterals;

namespace tivela::packbuild::Loanwords {

namespace {

// After every dictionary's pairs and the routes'.
constexpr int loanwordRank = 5000000;
// Shorter words match an English one by chance ("байт" would be "bait").
constexpr qsizetype shortestWord = 6;

// "ж" has no letter of its own in English loans: it spells nothing.
QString latin(const QString& russian) {
    static const QHash<QChar, QString> letters{
        {u'а', u"a"_s},   {u'б', u"b"_s},    {u'в', u"v"_s}, {u'г', u"g"_s},    {u'д', u"d"_s},
        {u'е', u"e"_s},   {u'ё', u"e"_s},    {u'з', u"z"_s}, {u'и', u"i"_s},    {u'й', u"i"_s},
        {u'к', u"k"_s},   {u'л', u"l"_s},    {u'м', u"m"_s}, {u'н', u"n"_s},    {u'о', u"o"_s},
        {u'п', u"p"_s},   {u'р', u"r"_s},    {u'с', u"s"_s}, {u'т', u"t"_s},    {u'у', u"u"_s},
        {u'ф', u"f"_s},   {u'х', u"h"_s},    {u'ц', u"c"_s}, {u'ч', u"ch"_s},   {u'ш', u"sh"_s},
        {u'щ', u"sch"_s}, {u'ъ', QString()}, {u'ы', u"y"_s}, {u'ь', QString()}, {u'э', u"e"_s},
        {u'ю', u"yu"_s},  {u'я', u"ya"_s}};
    QString text;
    for (const QChar c : russian) {
        const auto letter = letters.constFind(c);
        if (letter == letters.constEnd())
            return {};
        text += *letter;
    }
    return text;
}

// The suffixes of each part of speech as English writes them.
const QList<std::pair<QString, QString>>& suffixes(const QString& pos) {
    static const QList<std::pair<QString, QString>> nouns{{u"ция"_s, u"tion"_s},
                                                          {u"сия"_s, u"sion"_s},
                                                          {u"изм"_s, u"ism"_s},
                                                          {u"ика"_s, u"ics"_s},
                                                          {u"ура"_s, u"ure"_s}};
    static const QList<std::pair<QString, QString>> adjectives{
        {u"ический"_s, u"ic"_s}, {u"ический"_s, u"ical"_s}, {u"альный"_s, u"al"_s},
        {u"ивный"_s, u"ive"_s},  {u"ильный"_s, u"ile"_s},   {u"арный"_s, u"ary"_s}};
    static const QList<std::pair<QString, QString>> verbs{
        {u"изировать"_s, u"ize"_s}, {u"ифицировать"_s, u"ify"_s}, {u"ировать"_s, u"ate"_s}};
    static const QList<std::pair<QString, QString>> none;
    return pos == "noun"_L1   ? nouns
           : pos == "adj"_L1  ? adjectives
           : pos == "verb"_L1 ? verbs
                              : none;
}

} // namespace

QStringList russianSpellings(const QString& word, const QString& pos) {
    if (word.size() < shortestWord || word.contains(u'ж'))
        return {};
    QStringList found;
    bool suffixed = false;
    for (const auto& [russian, english] : suffixes(pos)) {
        if (!word.endsWith(russian))
            continue;
        suffixed = true;
        if (const QString stem = latin(word.chopped(russian.size())); !stem.isEmpty())
            found << stem + english;
    }
    static const QRegularExpression ownNoun(u"(ь|е|ка|ня|ик)$"_s);
    if (!suffixed && pos == "noun"_L1 && !ownNoun.match(word).hasMatch())
        found << latin(word);
    found.removeAll(QString());
    return found;
}

namespace {

// English words by part of speech and cognate key; a key of two words leads to neither.
using EnglishByKey = QHash<QString, QHash<QString, QString>>;

EnglishByKey englishWords(const English& english) {
    EnglishByKey found;
    for (auto it = english.lemmas().cbegin(); it != english.lemmas().cend(); ++it) {
        if (it.key().contains(u' ') || it.key().contains(u'-') ||
            !english.listedInLowerCase(it.key()))
            continue;
        for (const QString& pos : {u"noun"_s, u"adj"_s, u"verb"_s}) {
            if (english.wordnet().senses(it.value(), pos).isEmpty())
                continue;
            QString& slot = found[pos][cognateKey(it.key())];
            slot = slot.isEmpty() ? it.value() : u"\t"_s;
        }
    }
    return found;
}

} // namespace

bool addPairs(const QString& generator, QStringList (*spellings)(const QString&, const QString&),
              const English& english, Evidence& evidence, QString* error) {
    const QString& lang = evidence.code;
    QSet<QString> terms;
    for (const Pair& pair : std::as_const(evidence.pairs))
        terms.insert(key(pair.term, lang));
    const EnglishByKey byKey = englishWords(english);
    // In the order of the words: the same input gives the same bytes.
    std::map<QString, QString> words;
    for (const auto& [pattern, pos] :
         {std::pair{u"*<n><*><nom>"_s, u"noun"_s}, std::pair{u"*<adj><*><nom>"_s, u"adj"_s},
          std::pair{u"*<vblex><*><inf>"_s, u"verb"_s}}) {
        const auto listed =
            Apertium::paradigms(generator, {pattern}, Apertium::Side::generator, error);
        if (!listed)
            return false;
        for (const auto& [lemma, form] : *listed) {
            const QString word = key(lemma, lang);
            if (!terms.contains(word) && !word.contains(u'-'))
                words.emplace(word, pos);
        }
    }
    int rank = loanwordRank;
    int added = 0;
    for (const auto& [word, pos] : words) {
        for (const QString& spelling : spellings(word, pos)) {
            const QString found = byKey.value(pos).value(cognateKey(spelling));
            if (found.isEmpty() || found == "\t"_L1)
                continue;
            evidence.pairs.append({found, pos, word, rank++, routed, {}, {}});
            ++added;
            break;
        }
    }
    evidence.header << u"# translations of %1 loanwords: spelt after the English word"_s.arg(added);
    return true;
}

} // namespace tivela::packbuild::Loanwords
