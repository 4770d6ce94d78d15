#include "platform/engine/ApertiumStream.h"

using namespace Qt::StringLiterals;

namespace tivela::ApertiumStream {
namespace {

// Characters the stages read as stream syntax.
bool isSyntax(QChar c) {
    return u"\\^$/[]{}<>@"_s.contains(c);
}

// Characters that are stream syntax only to some stages, or that the stages add in front of
// words they could not translate. Inside a block they reach the far end untouched.
bool isMark(QChar c) {
    return c == u'*' || c == u'#' || c == u'~';
}

// A blank line, or the character that says so: the stages hold a sentence open across any
// other white space, so a paragraph break needs a sentence end of its own.
bool breaksParagraph(QStringView run) {
    return run.contains(u"\n\n") || run.contains(u"\r\n\r\n") || run.contains(u'\u2029');
}

// The sentence end put before a paragraph break and after the text, as Apertium's own text
// deformatter puts it; it never comes out of the stream.
constexpr QStringView sentenceEnd = u".[]";

// The text of a block or escape from `at`, the opening bracket or backslash; moves `at` past it.
QString resolve(QStringView stream, qsizetype& at) {
    if (stream[at] == u'\\') {
        at += 2;
        return at <= stream.size() ? stream.mid(at - 1, 1).toString() : QString();
    }
    QString content;
    for (++at; at < stream.size() && stream[at] != u']'; ++at) {
        if (stream[at] == u'\\' && at + 1 < stream.size())
            ++at;
        content += stream[at];
    }
    ++at;
    return content;
}

} // namespace

QByteArray request(QStringView text, quint64 number) {
    return QString(u'[' + QString::number(number) + u']' + escape(text) + sentenceEnd).toUtf8();
}

std::optional<QString> answer(QByteArrayView record, quint64 number) {
    const QString stream = QString::fromUtf8(record);
    const QString head = u'[' + QString::number(number) + u']';
    if (!stream.startsWith(head) || !stream.endsWith(u"[]") || stream.endsWith(u"\\[]"))
        return std::nullopt;
    return unescape(QStringView(stream).sliced(head.size()));
}

QString escape(QStringView text) {
    QString stream;
    stream.reserve(text.size() + text.size() / 8 + 8);
    qsizetype at = 0;
    while (at < text.size()) {
        const QChar c = text[at];
        if (c.isNull()) {
            ++at;
            continue;
        }
        if (c.isSpace()) {
            QString run;
            for (; at < text.size() && (text[at].isSpace() || text[at].isNull()); ++at)
                if (!text[at].isNull())
                    run += text[at];
            const bool inner = !stream.isEmpty() && at < text.size();
            if (run == u" " && inner)
                stream += u' ';
            else if (breaksParagraph(run))
                stream += sentenceEnd + u'[' + run + u']';
            else
                stream += u'[' + run + u']';
            continue;
        }
        if (isSyntax(c))
            stream += u'\\' + QString(c);
        else if (isMark(c))
            stream += u'[' + QString(c) + u']';
        else
            stream += c;
        ++at;
    }
    return stream;
}

QString unescape(QStringView stream) {
    QString text;
    text.reserve(stream.size());
    qsizetype at = 0;
    while (at < stream.size()) {
        const QChar c = stream[at];
        if (c == u'\\' || c == u'[') {
            text += resolve(stream, at);
            continue;
        }
        if (stream.sliced(at).startsWith(sentenceEnd)) {
            at += sentenceEnd.size();
            continue;
        }
        if (!isMark(c) && c != u'@' && c != u']')
            text += c;
        ++at;
    }
    return text;
}

} // namespace tivela::ApertiumStream
