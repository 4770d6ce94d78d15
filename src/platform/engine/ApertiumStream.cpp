#include "platform/engine/ApertiumStream.h"

#include "core/Verbatim.h"

#include <algorithm>

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

// A verbatim run as a block of its own: the stages pass it through untouched, in its place.
// Inside a block only the brackets and the backslash are syntax; an opening bracket first
// would make it a block bound to the next word.
QString block(QStringView run) {
    QString content;
    content.reserve(run.size() + 2);
    content += u'[';
    for (const QChar c : run) {
        if (c == u'[' || c == u']' || c == u'\\')
            content += u'\\';
        if (!c.isNull())
            content += c;
    }
    return content + u']';
}

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
    const QList<Verbatim::Span> verbatim = Verbatim::spans(text);
    auto next = verbatim.cbegin();
    qsizetype at = 0;
    while (at < text.size()) {
        if (next != verbatim.cend() && next->start == at) {
            stream += block(text.sliced(at, next->length));
            at += next->length;
            ++next;
            continue;
        }
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
    // Every space outside a block stood alone between two words of the text: a word the engine
    // dropped leaves its space behind, two in a row ("donde  podemos" for "where we can") or one
    // that touches a block of white space or either end (" Tengo hambre" for "I am hungry").
    // Such a run is one space between words and none at a break. A space waits until the next
    // text shows which it is.
    bool space = false;
    bool atBreak = true;
    const auto put = [&](QStringView part, bool white) {
        if (part.isEmpty())
            return;
        if (space && !white && !atBreak)
            text += u' ';
        space = false;
        text += part;
        atBreak = white;
    };
    qsizetype at = 0;
    while (at < stream.size()) {
        const QChar c = stream[at];
        if (c == u'\\' || c == u'[') {
            const QString resolved = resolve(stream, at);
            put(resolved, c == u'[' && std::all_of(resolved.cbegin(), resolved.cend(),
                                                   [](QChar r) { return r.isSpace(); }));
            continue;
        }
        if (stream.sliced(at).startsWith(sentenceEnd)) {
            at += sentenceEnd.size();
            continue;
        }
        if (c == u' ')
            space = true;
        else if (!isMark(c) && c != u'@' && c != u']')
            put(stream.sliced(at, 1), false);
        ++at;
    }
    return text;
}

} // namespace tivela::ApertiumStream
