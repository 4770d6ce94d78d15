#include "FreeDict.h"

#include "core/LexiconPack.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

std::optional<qint64> base64Number(QByteArrayView text) {
    static constexpr std::string_view digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    qint64 value = 0;
    for (const char c : text) {
        const size_t digit = digits.find(c);
        if (digit == std::string_view::npos || value > (qint64(1) << 40))
            return std::nullopt;
        value = value * 64 + qint64(digit);
    }
    return value;
}

// Splits at commas and semicolons outside brackets of any kind.
QStringList splitTerms(const QString& line) {
    QStringList terms;
    int depth = 0;
    QString current;
    for (const QChar c : line) {
        if (c == u'(' || c == u'[' || c == u'<' || c == u'{')
            ++depth;
        else if ((c == u')' || c == u']' || c == u'>' || c == u'}') && depth > 0)
            --depth;
        if (depth == 0 && (c == u',' || c == u';')) {
            terms << current;
            current.clear();
        } else {
            current += c;
        }
    }
    terms << current;
    return terms;
}

} // namespace

QString FreeDict::infoField(const QString& key) const {
    const QRegularExpression field(u"^\\s*"_s + QRegularExpression::escape(key) + u":\\s*(.+)$"_s,
                                   QRegularExpression::MultilineOption);
    return field.match(m_info).captured(1).trimmed();
}

QString FreeDict::infoSection(const QString& heading) const {
    QStringList lines;
    bool inside = false;
    for (const QString& line : m_info.split(u'\n')) {
        if (line.trimmed() == heading + u':') {
            inside = true;
            continue;
        }
        if (inside && !line.isEmpty() && !line.front().isSpace())
            break;
        if (inside)
            lines << line.trimmed();
    }
    return lines.join(u' ').simplified();
}

bool FreeDict::load(const QString& folder, const QString& name, QString* error) {
    const QString base = folder + u"/freedict-"_s + name;
    QFile index(base + u".index"_s);
    QFile dict(base + u".dict.dz"_s);
    if (!dict.exists())
        dict.setFileName(base + u".dict"_s);
    if (!index.open(QIODevice::ReadOnly) || !dict.open(QIODevice::ReadOnly)) {
        *error = u"cannot read "_s + base + u".index and .dict(.dz)"_s;
        return false;
    }
    const QByteArray packed = dict.readAll();
    QByteArray plain;
    if (dict.fileName().endsWith(u".dz"_s)) {
        const auto text = LexiconPack::gunzip(packed);
        if (!text) {
            *error = dict.fileName() + u" is not gzip data"_s;
            return false;
        }
        plain = text->view().toByteArray();
    } else {
        plain = packed;
    }

    QSet<qint64> seen;
    QList<QPair<qint64, qint64>> spans;
    for (const QByteArray& line : index.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 3)
            continue;
        const auto offset = base64Number(fields[1]);
        const auto length = base64Number(fields[2]);
        if (!offset || !length || *offset + *length > plain.size()) {
            *error = index.fileName() + u" points outside its dictionary"_s;
            return false;
        }
        if (fields[0] == "00databaseinfo" || fields[0] == "00-database-info") {
            m_info = QString::fromUtf8(plain.mid(*offset, *length));
            continue;
        }
        if (fields[0].startsWith("00database") || fields[0].startsWith("00-database"))
            continue;
        if (!seen.contains(*offset)) {
            seen.insert(*offset);
            spans.append({*offset, *length});
        }
    }
    // The index is sorted by headword; articles are read in the order the authors wrote them.
    std::sort(spans.begin(), spans.end());
    m_entries.reserve(spans.size());
    for (const auto& [offset, length] : spans) {
        Entry entry = parse(QString::fromUtf8(plain.mid(offset, length)));
        if (!entry.headword.isEmpty())
            m_entries.append(std::move(entry));
    }
    return true;
}

FreeDict::Entry FreeDict::parse(const QString& article) {
    static const QRegularExpression headLine(u"^(.*?)(?: /([^/]*)/)?(?: <([^>]*)>)?\\s*$"_s);
    static const QRegularExpression example(u"^\"(.*)\"\\s+-\\s+(.*)$"_s);
    static const QRegularExpression number(u"^\\d+\\.\\s+"_s);
    static const QRegularExpression label(u"\\[([^\\]]*)\\]"_s);
    static const QRegularExpression angle(u"<[^>]*>"_s);
    static const QRegularExpression reference(u"\\{([^}]*)\\}"_s);

    Entry entry;
    const QStringList lines = article.split(u'\n');
    const auto head = headLine.match(lines.value(0));
    entry.headword = head.captured(1).trimmed();
    entry.ipa = head.captured(2).trimmed();
    entry.pos = head.captured(3).trimmed();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString text = lines[i].trimmed();
        if (text.isEmpty() || text.startsWith(u"Synonym"_s) || text.startsWith(u"Note:"_s))
            continue;
        if (text.startsWith(u"see:"_s)) {
            for (const auto& match : reference.globalMatch(text))
                entry.see << match.captured(1).trimmed();
            continue;
        }
        if (const auto pair = example.match(text); pair.hasMatch()) {
            // A card shows one example of a sense.
            if (!entry.groups.isEmpty() && entry.groups.last().examples.isEmpty())
                entry.groups.last().examples.append(
                    {pair.captured(1).trimmed(), pair.captured(2).trimmed()});
            continue;
        }
        Group group;
        QString rest = text;
        rest.remove(number);
        for (const auto& match : label.globalMatch(rest))
            group.labels << match.captured(1).trimmed();
        rest.remove(label);
        for (QString term : splitTerms(rest)) {
            term.remove(angle);
            term = term.simplified();
            if (!term.isEmpty() && !group.terms.contains(term))
                group.terms << term;
        }
        if (!group.terms.isEmpty())
            entry.groups.append(group);
    }
    return entry;
}

} // namespace tivela::packbuild
