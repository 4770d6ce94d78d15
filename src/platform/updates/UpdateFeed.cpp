#include "platform/updates/UpdateFeed.h"

#include <QStringList>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// The RSS elements themselves belong to no namespace; the version fields may come in any.
bool isRss(const QXmlStreamReader& reader, QStringView name) {
    return reader.namespaceUri().isEmpty() && reader.name() == name;
}

QString attribute(const QXmlStreamAttributes& attributes, QStringView localName) {
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == localName)
            return attribute.value().toString().trimmed();
    }
    return QString();
}

UpdateItem readItem(QXmlStreamReader& reader) {
    UpdateItem item;
    QString enclosureVersion;
    QString enclosureShortVersion;
    while (reader.readNextStartElement()) {
        if (isRss(reader, u"title"))
            item.title = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        else if (isRss(reader, u"link"))
            item.link = QUrl(reader.readElementText().trimmed(), QUrl::StrictMode);
        else if (reader.name() == u"version")
            item.version = reader.readElementText().trimmed();
        else if (reader.name() == u"shortVersionString")
            item.shortVersion = reader.readElementText().trimmed();
        else if (isRss(reader, u"enclosure")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            item.enclosure = QUrl(attribute(attributes, u"url"), QUrl::StrictMode);
            enclosureVersion = attribute(attributes, u"version");
            enclosureShortVersion = attribute(attributes, u"shortVersionString");
            reader.skipCurrentElement();
        } else
            reader.skipCurrentElement();
    }
    if (item.version.isEmpty())
        item.version = enclosureVersion;
    if (item.shortVersion.isEmpty())
        item.shortVersion = enclosureShortVersion;
    return item;
}

// The parts of a version as digit strings without leading zeros.
std::optional<QStringList> parts(const QString& version) {
    const QStringList split = version.trimmed().split(u'.');
    QStringList numbers;
    for (const QString& part : split) {
        if (part.isEmpty())
            return std::nullopt;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        qsizetype zeros = 0;
        while (zeros < part.size() - 1 && part[zeros] == u'0')
            ++zeros;
        numbers << part.mid(zeros);
    }
    return numbers;
}

} // namespace

std::optional<QList<UpdateItem>> UpdateFeed::parse(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || !isRss(reader, u"rss"))
        return std::nullopt;
    QList<UpdateItem> items;
    while (reader.readNextStartElement()) {
        if (!isRss(reader, u"channel")) {
            reader.skipCurrentElement();
            continue;
        }
        while (reader.readNextStartElement()) {
            if (isRss(reader, u"item"))
                items << readItem(reader);
            else
                reader.skipCurrentElement();
        }
    }
    // Whatever follows the root must still be well-formed.
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
        return std::nullopt;
    return items;
}

std::optional<int> UpdateFeed::compareVersions(const QString& a, const QString& b) {
    const auto left = parts(a);
    const auto right = parts(b);
    if (!left || !right)
        return std::nullopt;
    for (qsizetype i = 0; i < std::max(left->size(), right->size()); ++i) {
        const QString x = left->value(i, u"0"_s);
        const QString y = right->value(i, u"0"_s);
        // Without leading zeros, a longer number is a larger one.
        if (x.size() != y.size())
            return x.size() < y.size() ? -1 : 1;
        if (const int order = x.compare(y))
            return order < 0 ? -1 : 1;
    }
    return 0;
}

std::optional<UpdateItem> UpdateFeed::newest(const QList<UpdateItem>& items,
                                             const QString& current) {
    std::optional<UpdateItem> best;
    for (const UpdateItem& item : items) {
        const auto order = compareVersions(item.version, best ? best->version : current);
        if (order && *order > 0)
            best = item;
    }
    return best;
}

} // namespace tivela
