#include "platform/engine/ApertiumCase.h"

#include "core/Graphemes.h"

using namespace Qt::StringLiterals;

namespace tivela::ApertiumCase {
namespace {

qsizetype firstLetter(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i].isLetter())
            return i;
    return -1;
}

bool isCapital(QChar c) {
    return c.isUpper() || c.isTitleCase();
}

// Sentence punctuation, or a line: the text is more than a phrase.
bool endsSentence(QChar c) {
    return u".!?;:\u00A1\u00BF\u2026\u3002\uFF01\uFF1F\n\r\u2028\u2029"_s.contains(c);
}

qsizetype wordCount(QStringView text) {
    qsizetype words = 0;
    bool inWord = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++words;
        }
    }
    return words;
}

} // namespace

QString followSource(QStringView source, const QString& translation, const QString& target) {
    const qsizetype first = firstLetter(translation);
    const qsizetype sourceFirst = firstLetter(source);
    if (first < 0 || sourceFirst < 0 || !isCapital(translation[first]) ||
        !source[sourceFirst].isLower())
        return translation;
    if (Graphemes::longerThan(translation, maxCharacters) || wordCount(translation) > maxWords)
        return translation;
    for (qsizetype i = 0; i < translation.size(); ++i)
        if (endsSentence(translation[i]) || (i > first && isCapital(translation[i])))
            return translation;
    // "I" is a capital wherever it stands; German writes every noun with one.
    const bool loneI = translation[first] == u'I' &&
                       (first + 1 == translation.size() || !translation[first + 1].isLetter());
    if ((target == u"en" && loneI) || target == u"de")
        return translation;
    QString result = translation;
    result[first] = result[first].toLower();
    return result;
}

} // namespace tivela::ApertiumCase
