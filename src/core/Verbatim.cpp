#include "core/Verbatim.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::Verbatim {
namespace {

bool opens(QChar c) {
    return QStringView(u"([{<\"'\u00AB\u201C\u2018\u00BF\u00A1").contains(c);
}

// The closing bracket's partner, or nothing for other characters.
QChar partner(QChar c) {
    switch (c.unicode()) {
    case u')':
        return u'(';
    case u']':
        return u'[';
    case u'}':
        return u'{';
    case u'>':
        return u'<';
    default:
        return {};
    }
}

bool endsClause(QChar c) {
    return QStringView(u".,;:!?\"'\u00BB\u201D\u2019\u2026").contains(c);
}

QRegularExpression anchored(const QString& pattern) {
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                              QRegularExpression::UseUnicodePropertiesOption);
}

// Links of any scheme and e-mail addresses.
bool isAddress(QStringView token) {
    static const QRegularExpression address =
        anchored(u"[A-Za-z][A-Za-z0-9+.\\-]*://\\S+|(?i:mailto|tel|urn|magnet):\\S+"
                 u"|[\\p{L}\\p{N}._%+\\-]+@[\\p{L}\\p{N}\\-]+(?:\\.[\\p{L}\\p{N}\\-]+)+"_s);
    return address.match(token).hasMatch();
}

bool isPath(QStringView token) {
    static const QRegularExpression path =
        anchored(u"/[^\\s/]\\S*|~/\\S*|\\.\\.?/\\S*|[A-Za-z]:[\\\\/]\\S*"_s);
    return path.match(token).hasMatch();
}

// Words joined by dots, with a letter among them: "config.yaml", "os.path.join", "v1.2".
// Abbreviations ("e.g", "U.S.A") join single letters and stay words.
bool isDotted(QStringView token) {
    static const QRegularExpression dotted =
        anchored(u"[\\p{L}\\p{N}_\\-]+(?:\\.[\\p{L}\\p{N}_\\-]+)+"_s);
    if (!dotted.match(token).hasMatch() ||
        std::none_of(token.begin(), token.end(), [](QChar c) { return c.isLetter(); }))
        return false;
    for (const QStringView part : token.tokenize(u'.'))
        if (part.size() > 1)
            return true;
    return false;
}

// "--options", camelCase, snake_case.
bool isCode(QStringView token) {
    if (token.startsWith(u"--") && token.size() > 2 && token[2].isLetterOrNumber())
        return true;
    for (qsizetype i = 0; i + 1 < token.size(); ++i) {
        const QChar c = token[i];
        const QChar next = token[i + 1];
        if (c.isLower() && next.isUpper())
            return true;
        if ((c == u'_' && next.isLetterOrNumber()) || (c.isLetterOrNumber() && next == u'_'))
            return true;
    }
    return false;
}

// Links, addresses, paths and dotted names all have one of these; most words have none.
bool hasSeparator(QStringView token) {
    return std::any_of(token.begin(), token.end(), [](QChar c) { return u":@/\\."_s.contains(c); });
}

// The token between `start` and `end` without the punctuation around it; a closing bracket
// stays when the token opened it ("…/wiki/Foo_(bar)").
std::pair<qsizetype, qsizetype> core(QStringView text, qsizetype start, qsizetype end) {
    while (start < end && opens(text[start]))
        ++start;
    while (end > start) {
        const QChar last = text[end - 1];
        const QChar opener = partner(last);
        const QStringView token = text.sliced(start, end - start);
        if (opener.isNull() ? !endsClause(last) : token.count(opener) >= token.count(last))
            break;
        --end;
    }
    return {start, end};
}

} // namespace

QList<Span> spans(QStringView text) {
    QList<Span> found;
    qsizetype at = 0;
    while (at < text.size()) {
        if (text[at].isSpace()) {
            ++at;
            continue;
        }
        const qsizetype start = at;
        while (at < text.size() && !text[at].isSpace())
            ++at;
        if (at - start > longestWord) {
            found << Span{start, at - start};
            continue;
        }
        const auto [from, to] = core(text, start, at);
        const QStringView token = text.sliced(from, to - from);
        // Markup's closing tags ("</a1>") start like an absolute path but are none.
        const QStringView whole = text.sliced(start, at - start);
        const bool markup = whole.contains(u'<') || whole.contains(u'>');
        if (isCode(token) || (hasSeparator(token) &&
                              (isAddress(token) || isDotted(token) || (!markup && isPath(token)))))
            found << Span{from, to - from};
    }
    return found;
}

bool nothingToTranslate(QStringView text) {
    const QList<Span> runs = spans(text);
    auto run = runs.cbegin();
    for (qsizetype i = 0; i < text.size(); ++i) {
        while (run != runs.cend() && run->start + run->length <= i)
            ++run;
        if (run != runs.cend() && run->start <= i)
            continue;
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (QChar::isLetter(c))
            return false;
    }
    return true;
}

} // namespace tivela::Verbatim
