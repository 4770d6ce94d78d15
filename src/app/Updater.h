#pragma once

#include "platform/updates/UpdateChecker.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace tivela {

struct Bundle;

// What the update window tells after a check.
struct UpdateNotice {
    enum class Kind { found, upToDate, failed };

    Kind kind = Kind::failed;
    // The running copy, as "1.2 (12)".
    QString current;
    // found: the release, as "1.3 (13)", and its title.
    QString available;
    QString title;
    // found: where "Download…" leads, the release's page or else its file; web addresses only.
    std::optional<QUrl> download;
    // found: where an automatic download saved the file.
    std::optional<QString> savedFile;
    // failed: why, for people.
    QString error;
};

// Software updates: looks for a newer release in the bundle's feed once a day and when asked,
// tells about it (a scheduled check once per release), and with automatic downloads on saves
// its file into the Downloads folder. It never installs anything. The two settings, the date of
// the last check and the release last told of live in the application's own settings. Lives on
// the main thread.
class Updater : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 checkIntervalSeconds = 24 * 60 * 60;

    struct Environment {
        QUrl feed;
        // The bundle's build number and the version shown to people.
        QString version;
        QString shortVersion;
        QString standardDefaultsFile;
        QString downloadsFolder;
        // The wall clock: a timer that runs on monotonic time stops while the machine sleeps.
        std::function<QDateTime()> now;
        std::function<bool(const QUrl&)> openUrl;
        // How often a scheduled check is considered.
        int judgeIntervalMs = 60 * 60 * 1000;
        UpdateLimits limits;
        // Nothing for the updater's own.
        QNetworkAccessManager* network = nullptr;

        // The bundle's versions, the user's folders, the system clock and browser.
        static Environment production(const QUrl& feed, const Bundle& bundle);
    };

    // The values an updater without a feed shows and changes.
    struct Preview {
        bool checks = true;
        bool downloads = false;
        std::optional<QDateTime> last;
        bool canCheck = true;
    };

    // An updater for the bundle's "SUFeedURL"; nothing when it is missing, not text or empty.
    static std::unique_ptr<Updater> makeIfConfigured(const std::optional<Bundle>& bundle);

    // Starts judging scheduled checks at once.
    explicit Updater(Environment environment, QObject* parent = nullptr);
    explicit Updater(const Preview& preview, QObject* parent = nullptr);

    // False while a check runs.
    bool canCheck() const;
    bool automaticallyChecks() const;
    void setAutomaticallyChecks(bool checks);
    bool automaticallyDownloads() const;
    void setAutomaticallyDownloads(bool downloads);
    // The last time the feed was read.
    std::optional<QDateTime> lastCheck() const;

    // A check the user asked for: its outcome is told whatever it is. Without a feed it only
    // announces a change.
    void checkForUpdates();
    // Opens a found release's download address in the browser.
    bool openDownload(const UpdateNotice& notice) const;

Q_SIGNALS:
    // Any value above may have changed.
    void changed();
    // A release was found, or a check the user asked for ended.
    void noticed(const UpdateNotice& notice);

private:
    void judge();
    void start(bool byUser);
    void finish(const UpdateCheck& check);
    // Ends a check; nothing to tell for a release already told of.
    void tell(const std::optional<UpdateNotice>& notice);
    void setCanCheck(bool canCheck);
    QVariant setting(const QString& key, const QVariant& fallback) const;
    void setSetting(const QString& key, const QVariant& value);
    static QString versionText(const QString& shortVersion, const QString& version);

    std::optional<Environment> m_env;
    Preview m_preview;
    UpdateChecker* m_checker = nullptr;
    QTimer m_judge;
    bool m_canCheck = true;
    bool m_byUser = false;
};

} // namespace tivela
