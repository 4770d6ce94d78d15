#pragma once

#include "platform/updates/UpdateFeed.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

namespace tivela {

// What one look at the feed found.
struct UpdateCheck {
    enum class Outcome { upToDate, found, failed };

    Outcome outcome = Outcome::failed;
    // The newest release, when found.
    std::optional<UpdateItem> item;
    // Why the check failed, for people.
    QString error;
};

// How long and how large the checker's transfers may be.
struct UpdateLimits {
    // A transfer fails after this long without data.
    int transferTimeoutMs = 60000;
    qint64 maxFeedBytes = 4 * 1024 * 1024;
    qint64 maxFileBytes = qint64(1) << 30;
    // The feed, in all, however the server trickles it.
    int feedDeadlineMs = 60000;
    // A release file, in all: as long as its size takes at a slow rate, within these bounds;
    // the upper one while the server tells no size.
    qint64 slowBytesPerSecond = 64 * 1024;
    int fileDeadlineMinMs = 60000;
    int fileDeadlineMaxMs = 10 * 60000;
};

// Reads the update feed and fetches release files over HTTP(S). Lives on the main thread and
// never blocks it; every transfer is bounded in time without data, in time overall and in size.
class UpdateChecker : public QObject {
    Q_OBJECT

public:
    // network: nothing for one of the checker's own.
    UpdateChecker(const QUrl& feed, const QString& currentVersion, UpdateLimits limits = {},
                  QNetworkAccessManager* network = nullptr, QObject* parent = nullptr);

    // Reads the feed and compares its newest release with the current version.
    QFuture<UpdateCheck> check();
    // Saves a release file into folder under the name fileName() gives, never over an existing
    // file and never executable. The saved file's path, or nothing.
    QFuture<std::optional<QString>> download(const QUrl& url, const QString& folder);

    // A file name from the address's last segment, cut to letters, digits and "._+-", with no
    // leading dot; nothing when no name is left.
    static std::optional<QString> fileName(const QUrl& url);
    // Only these addresses are fetched or opened.
    static bool isWebAddress(const QUrl& url);

private:
    QNetworkAccessManager* m_network;
    QUrl m_feed;
    QString m_current;
    UpdateLimits m_limits;
};

} // namespace tivela
