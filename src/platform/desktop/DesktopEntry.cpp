#include "platform/desktop/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// Characters that make an argument need quotes.
bool isReserved(QChar c) {
    return QStringView(u" \t\n\"'\\><~|&;$*?#()`").contains(c);
}

QString escapeString(const QString& value) {
    QString escaped;
    for (const QChar c : value) {
        if (c == u'\\')
            escaped += u"\\\\"_s;
        else if (c == u'\n')
            escaped += u"\\n"_s;
        else if (c == u'\t')
            escaped += u"\\t"_s;
        else if (c == u'\r')
            escaped += u"\\r"_s;
        else
            escaped += c;
    }
    return escaped;
}

QString unescapeString(const QString& value) {
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            plain += u' ';
        else if (next == u'n')
            plain += u'\n';
        else if (next == u't')
            plain += u'\t';
        else if (next == u'r')
            plain += u'\r';
        else if (next == u'\\')
            plain += u'\\';
        else
            plain += QString(u'\\') + next;
    }
    return plain;
}

QString quoteArgument(const QString& argument) {
    QString quoted = argument;
    quoted.replace(u'%', u"%%"_s);
    if (!std::any_of(quoted.cbegin(), quoted.cend(), isReserved) && !quoted.isEmpty())
        return quoted;
    QString inner;
    for (const QChar c : quoted) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            inner += u'\\';
        inner += c;
    }
    return u'"' + inner + u'"';
}

} // namespace

QString DesktopEntry::execValue(const QString& program, const QStringList& fieldCodes) {
    // Quoted only where the rules ask for it: xdg-open without a desktop environment (Debian's
    // xdg-utils 1.1.3) takes the first word of Exec as it stands, quotes and all.
    QString value = quoteArgument(program);
    for (const QString& code : fieldCodes)
        value += u' ' + code;
    return escapeString(value);
}

std::optional<QStringList> DesktopEntry::parseExec(const QString& value) {
    const QString plain = unescapeString(value);
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const QChar c = plain[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < plain.size()) {
                current += plain[++i];
            } else if (c == u'"') {
                quoted = false;
            } else if (c == u'%' && i + 1 < plain.size() && plain[i + 1] == u'%') {
                current += u'%';
                ++i;
            } else {
                current += c;
            }
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
        } else if (c == u'"') {
            quoted = true;
            inArgument = true;
        } else if (c == u'%' && i + 1 < plain.size() && plain[i + 1] == u'%') {
            current += u'%';
            inArgument = true;
            ++i;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);
    return arguments;
}

QMap<QString, QString> DesktopEntry::read(const QString& path) {
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return keys;
    bool inGroup = false;
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key))
            keys.insert(key, unescapeString(line.mid(equals + 1).trimmed()));
    }
    return keys;
}

bool DesktopEntry::write(const QString& path, const QByteArray& bytes, bool* changed) {
    if (changed)
        *changed = false;
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == bytes)
        return true;
    current.close();
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return false;
    if (changed)
        *changed = true;
    return true;
}

} // namespace tivela
