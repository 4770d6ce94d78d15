#include "core/IniFile.h"

#include <QList>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace tivela::IniFile {
namespace {

bool isPlainKey(QByteArrayView key) {
    return !key.isEmpty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    });
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A section header's line: whether its keys are top-level ones. QSettings files the top-level
// keys under "General", in any letter case.
std::optional<bool> header(const QByteArray& trimmed) {
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const qsizetype end = trimmed.indexOf(']');
    const QByteArray name = trimmed.mid(1, end < 0 ? -1 : end - 1);
    return name.compare("general", Qt::CaseInsensitive) == 0;
}

// The key of a line that sets one, as written; empty for other lines.
QByteArray keyOf(const QByteArray& line) {
    const qsizetype equals = line.indexOf('=');
    if (equals < 0 || line.trimmed().startsWith(';'))
        return {};
    return line.left(equals).trimmed();
}

// A value as QSettings unescapes it: quotes, backslash escapes, spaces around it dropped unless
// quoted. Nothing for a list (a comma outside quotes).
std::optional<QString> unescaped(QByteArrayView raw) {
    QString result;
    QByteArray run;
    const auto flush = [&] {
        result += QString::fromUtf8(run);
        run.clear();
    };
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
    };
    skipBlanks();
    bool inQuotes = false;
    bool quoted = false;
    // Blanks at the end are dropped only back to the last escape or closing quote.
    qsizetype kept = 0;
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '\\') {
            flush();
            if (++i >= raw.size())
                break;
            const char escape = raw[i++];
            static constexpr std::pair<char, char> simple[] = {
                {'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},  {'r', '\r'}, {'t', '\t'},
                {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
            const auto* found =
                std::find_if(std::begin(simple), std::end(simple),
                             [&](const auto& pair) { return pair.first == escape; });
            if (found != std::end(simple)) {
                result += QLatin1Char(found->second);
            } else if (escape == 'x' || (escape >= '0' && escape <= '7')) {
                const int base = escape == 'x' ? 16 : 8;
                int value = escape == 'x' ? 0 : escape - '0';
                bool digits = escape != 'x';
                for (int digit; i < raw.size() && (digit = hexDigit(raw[i])) >= 0 && digit < base;
                     ++i) {
                    // A character holds 16 bits; QSettings keeps the low ones as well.
                    value = (value * base + digit) & 0xFFFF;
                    digits = true;
                }
                if (digits)
                    result += QChar(char16_t(value));
            }
            kept = result.size();
        } else if (c == '"') {
            flush();
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipBlanks();
                kept = result.size();
            }
        } else if (c == ',' && !inQuotes) {
            return std::nullopt;
        } else {
            qsizetype end = i + 1;
            while (end < raw.size() && raw[end] != '\\' && raw[end] != '"' && raw[end] != ',')
                ++end;
            run += raw.sliced(i, end - i);
            i = end;
        }
    }
    flush();
    if (!quoted)
        while (result.size() > kept && (result.back() == u' ' || result.back() == u'\t'))
            result.chop(1);
    return result;
}

// The inside of a "@Form(...)" value; nothing for another form.
std::optional<QString> inside(const QString& text, QStringView form) {
    if (!text.startsWith(form) || !text.endsWith(u')'))
        return std::nullopt;
    return text.mid(form.size(), text.size() - form.size() - 1);
}

// Only text and byte arrays: every other "@" form names a type to build.
std::optional<Value> plain(const QString& text) {
    if (!text.startsWith(u'@'))
        return text;
    if (text.startsWith(u"@@"))
        return text.mid(1);
    if (const auto bytes = inside(text, u"@ByteArray("))
        return bytes->toLatin1();
    return inside(text, u"@String(");
}

// As QSettings writes a value: UTF-8 for text, escapes for bytes past ASCII, and quotes when
// separators or blanks at either end would change its meaning.
QByteArray escaped(const QString& text, bool utf8) {
    QByteArray out;
    QString pending;
    const auto flush = [&] {
        out += pending.toUtf8();
        pending.clear();
    };
    bool quotes = false;
    bool numericEscape = false;
    for (const QChar character : text) {
        const char16_t c = character.unicode();
        if (c == u';' || c == u',' || c == u'=')
            quotes = true;
        // A hex digit right after a numeric escape would be read as part of it.
        if (numericEscape && c < 0x80 && hexDigit(char(c)) >= 0) {
            out += "\\x" + QByteArray::number(c, 16);
            continue;
        }
        numericEscape = false;
        static constexpr std::pair<char16_t, const char*> named[] = {
            {u'\a', "\\a"}, {u'\b', "\\b"}, {u'\f', "\\f"}, {u'\n', "\\n"}, {u'\r', "\\r"},
            {u'\t', "\\t"}, {u'\v', "\\v"}, {u'"', "\\\""}, {u'\\', "\\\\"}};
        const auto* found = std::find_if(std::begin(named), std::end(named),
                                         [&](const auto& pair) { return pair.first == c; });
        if (found != std::end(named)) {
            flush();
            out += found->second;
        } else if (c == 0) {
            flush();
            out += "\\0";
            numericEscape = true;
        } else if (c <= 0x1F || (c >= 0x7F && !utf8)) {
            flush();
            out += "\\x" + QByteArray::number(c, 16);
            numericEscape = true;
        } else if (utf8) {
            pending += character;
        } else {
            out += char(c);
        }
    }
    flush();
    if (quotes || out.startsWith(' ') || out.endsWith(' '))
        return '"' + out + '"';
    return out;
}

QByteArray encoded(const Value& value) {
    if (const auto* bytes = std::get_if<QByteArray>(&value))
        return escaped(u"@ByteArray("_s + QString::fromLatin1(*bytes) + u')', false);
    // A NUL is kept in a form of its own, as Qt 6 writes it.
    const QString& text = std::get<QString>(value);
    if (text.contains(QChar(0)))
        return escaped(u"@String("_s + text + u')', true);
    return escaped(text.startsWith(u'@') ? u'@' + text : text, true);
}

} // namespace

QHash<QString, Value> read(const QByteArray& content, qsizetype maxValueBytes) {
    QHash<QString, Value> values;
    bool topLevel = true;
    for (QByteArray line : content.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (const auto general = header(line.trimmed())) {
            topLevel = *general;
            continue;
        }
        const QByteArray key = keyOf(line);
        if (!topLevel || !isPlainKey(key))
            continue;
        const QByteArrayView raw = QByteArrayView(line).sliced(line.indexOf('=') + 1);
        std::optional<Value> value;
        if (raw.size() <= maxValueBytes)
            if (const auto text = unescaped(raw))
                value = plain(*text);
        if (value)
            values.insert(QString::fromLatin1(key), *value);
        else
            values.remove(QString::fromLatin1(key));
    }
    return values;
}

QByteArray withValue(const QByteArray& content, const QString& key, const Value& value) {
    const QByteArray name = key.toLatin1();
    const QByteArray setting = name + '=' + encoded(value);
    QList<QByteArray> lines = content.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    QList<QByteArray> out;
    bool topLevel = true;
    bool placed = false;
    for (const QByteArray& line : std::as_const(lines)) {
        if (const auto general = header(line.trimmed())) {
            topLevel = *general;
            out << line;
            if (topLevel && !placed) {
                out << setting;
                placed = true;
            }
        } else if (!topLevel || keyOf(line) != name) {
            out << line;
        }
    }
    if (!placed) {
        if (!out.isEmpty())
            out.prepend(QByteArray());
        out.prepend(setting);
        out.prepend("[General]");
    }
    return out.join('\n') + '\n';
}

} // namespace tivela::IniFile
