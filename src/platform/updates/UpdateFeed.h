#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace tivela {

// One release as an update feed lists it.
struct UpdateItem {
    QString title;
    // Compared with the bundle's build number.
    QString version;
    // Shown to people; may be empty.
    QString shortVersion;
    // The release's page.
    QUrl link;
    // The release's file.
    QUrl enclosure;

    friend bool operator==(const UpdateItem&, const UpdateItem&) = default;
};

// The update feed: an RSS 2.0 channel whose items carry "version" and "shortVersionString"
// elements (or attributes of their enclosure) in any namespace.
namespace UpdateFeed {

// The items in document order; nothing when the text is not well-formed RSS.
std::optional<QList<UpdateItem>> parse(const QByteArray& xml);
// Versions are numbers joined by dots, compared part by part ("1.10" is above "1.9", "1.0"
// equals "1"). Negative, zero or positive; nothing when either is not such a version.
std::optional<int> compareVersions(const QString& a, const QString& b);
// The item with the highest version when it is above current; the first of equals.
std::optional<UpdateItem> newest(const QList<UpdateItem>& items, const QString& current);

} // namespace UpdateFeed
} // namespace tivela
