#include "app/Updater.h"

#include "core/Paths.h"

#include <QDesktopServices>
#include <QSettings>
#include <QStandardPaths>

#include <utility>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

const QString& checksKey() {
    static const QString key = u"automaticallyChecksForUpdates"_s;
    return key;
}

const QString& downloadsKey() {
    static const QString key = u"automaticallyDownloadsUpdates"_s;
    return key;
}

const QString& lastCheckKey() {
    static const QString key = u"lastUpdateCheckDate"_s;
    return key;
}

// The version of the release last told about.
const QString& announcedKey() {
    static const QString key = u"announcedUpdateVersion"_s;
    return key;
}

} // namespace

Updater::Environment Updater::Environment::production(const QUrl& feed, const Bundle& bundle) {
    Environment env;
    env.feed = feed;
    env.version = bundle.string(u"CFBundleVersion"_s);
    env.shortVersion = bundle.string(u"CFBundleShortVersionString"_s);
    env.standardDefaultsFile = Paths::standardDefaultsFile();
    env.downloadsFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    env.now = [] { return QDateTime::currentDateTimeUtc(); };
    env.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return env;
}

std::unique_ptr<Updater> Updater::makeIfConfigured(const std::optional<Bundle>& bundle) {
    if (!bundle)
        return nullptr;
    const QString feed = bundle->string(u"SUFeedURL"_s);
    if (feed.isEmpty())
        return nullptr;
    return std::make_unique<Updater>(Environment::production(QUrl(feed), *bundle));
}

Updater::Updater(Environment environment, QObject* parent)
    : QObject(parent)
    , m_env(std::move(environment)) {
    m_checker = new UpdateChecker(m_env->feed, m_env->version, m_env->limits, m_env->network, this);
    m_judge.setInterval(m_env->judgeIntervalMs);
    connect(&m_judge, &QTimer::timeout, this, &Updater::judge);
    m_judge.start();
    QTimer::singleShot(0, this, &Updater::judge);
}

Updater::Updater(const Preview& preview, QObject* parent)
    : QObject(parent)
    , m_preview(preview)
    , m_canCheck(preview.canCheck) {
}

bool Updater::canCheck() const {
    return m_canCheck;
}

bool Updater::automaticallyChecks() const {
    return m_env ? setting(checksKey(), true).toBool() : m_preview.checks;
}

void Updater::setAutomaticallyChecks(bool checks) {
    if (m_env)
        setSetting(checksKey(), checks);
    else
        m_preview.checks = checks;
    Q_EMIT changed();
}

bool Updater::automaticallyDownloads() const {
    return m_env ? setting(downloadsKey(), false).toBool() : m_preview.downloads;
}

void Updater::setAutomaticallyDownloads(bool downloads) {
    if (m_env)
        setSetting(downloadsKey(), downloads);
    else
        m_preview.downloads = downloads;
    Q_EMIT changed();
}

std::optional<QDateTime> Updater::lastCheck() const {
    if (!m_env)
        return m_preview.last;
    const QDateTime last =
        QDateTime::fromString(setting(lastCheckKey(), QString()).toString(), Qt::ISODateWithMs);
    return last.isValid() ? std::optional(last) : std::nullopt;
}

void Updater::checkForUpdates() {
    if (m_env && m_canCheck) {
        start(true);
        return;
    }
    // A check on its way is told as one the user asked for.
    m_byUser = m_env.has_value();
    Q_EMIT changed();
}

bool Updater::openDownload(const UpdateNotice& notice) const {
    if (!m_env || !notice.download || !UpdateChecker::isWebAddress(*notice.download))
        return false;
    return m_env->openUrl(*notice.download);
}

// Judged by the wall clock against the stored date, so a day asleep counts as a day; a last
// check in the future (the clock was set back) does not hold checks off.
void Updater::judge() {
    if (!m_canCheck || !automaticallyChecks())
        return;
    const auto last = lastCheck();
    const QDateTime now = m_env->now();
    if (last && *last <= now && last->secsTo(now) < checkIntervalSeconds)
        return;
    start(false);
}

void Updater::start(bool byUser) {
    m_byUser = byUser;
    setCanCheck(false);
    m_checker->check().then(this, [this](const UpdateCheck& check) { finish(check); });
}

void Updater::finish(const UpdateCheck& check) {
    if (check.outcome != UpdateCheck::Outcome::failed)
        setSetting(lastCheckKey(), m_env->now().toUTC().toString(Qt::ISODateWithMs));
    UpdateNotice notice;
    notice.current = versionText(m_env->shortVersion.isEmpty() ? u"dev"_s : m_env->shortVersion,
                                 m_env->version.isEmpty() ? u"0"_s : m_env->version);
    switch (check.outcome) {
    case UpdateCheck::Outcome::found: {
        const UpdateItem& item = *check.item;
        // A scheduled check tells of a release once; "Check for Updates…" every time.
        if (!m_byUser && setting(announcedKey(), QString()).toString() == item.version) {
            tell(std::nullopt);
            return;
        }
        notice.kind = UpdateNotice::Kind::found;
        notice.available = versionText(item.shortVersion, item.version);
        notice.title = item.title;
        if (UpdateChecker::isWebAddress(item.link))
            notice.download = item.link;
        else if (UpdateChecker::isWebAddress(item.enclosure))
            notice.download = item.enclosure;
        if (automaticallyChecks() && automaticallyDownloads() &&
            UpdateChecker::isWebAddress(item.enclosure)) {
            m_checker->download(item.enclosure, m_env->downloadsFolder)
                .then(this, [this, notice,
                             version = item.version](const std::optional<QString>& saved) mutable {
                    notice.savedFile = saved;
                    setSetting(announcedKey(), version);
                    tell(notice);
                });
            return;
        }
        setSetting(announcedKey(), item.version);
        break;
    }
    case UpdateCheck::Outcome::upToDate:
        notice.kind = UpdateNotice::Kind::upToDate;
        break;
    case UpdateCheck::Outcome::failed:
        notice.kind = UpdateNotice::Kind::failed;
        notice.error = check.error;
        break;
    }
    tell(notice);
}

// A scheduled check speaks up only when it found something new.
void Updater::tell(const std::optional<UpdateNotice>& notice) {
    const bool byUser = std::exchange(m_byUser, false);
    setCanCheck(true);
    if (notice && (byUser || notice->kind == UpdateNotice::Kind::found))
        Q_EMIT noticed(*notice);
}

void Updater::setCanCheck(bool canCheck) {
    m_canCheck = canCheck;
    Q_EMIT changed();
}

QVariant Updater::setting(const QString& key, const QVariant& fallback) const {
    return QSettings(m_env->standardDefaultsFile, QSettings::IniFormat).value(key, fallback);
}

void Updater::setSetting(const QString& key, const QVariant& value) {
    QSettings settings(m_env->standardDefaultsFile, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
}

QString Updater::versionText(const QString& shortVersion, const QString& version) {
    if (shortVersion.isEmpty() || shortVersion == version)
        return version;
    return shortVersion + u" ("_s + version + u')';
}

} // namespace tivela
