#include "app/LegacyMigration.h"

#include "app/BrowserIntegration.h"
#include "app/StoreNotices.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "platform/desktop/LoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

const QString& reportOption() {
    static const QString option = u"--check-migration-report"_s;
    return option;
}

// A dangling symbolic link occupies its name too.
bool occupied(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// A link is removed, never what it points at.
void removeTree(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

// Settings files keep no types: a Boolean written there reads back as the text "true".
bool isTrue(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    return value.toString().compare(u"true"_s, Qt::CaseInsensitive) == 0;
}

QString flag(bool value) {
    return value ? u"true"_s : u"false"_s;
}

} // namespace

LegacyNames LegacyNames::production() {
    return {unshift(u"Sduohw"_s), unshift(u"ghy.txruydqwd.Sduohw"_s), unshift(u"sduohw.vtolwh"_s),
            unshift(u"ghy.txruydqwd.sduohw"_s)};
}

QString LegacyNames::unshift(const QString& kept) {
    QString name = kept;
    for (QChar& c : name) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            c = QChar(u'a' + (u - u'a' + 23) % 26);
        else if (u >= u'A' && u <= u'Z')
            c = QChar(u'A' + (u - u'A' + 23) % 26);
    }
    return name;
}

LegacyMigration::Environment LegacyMigration::Environment::production() {
    Environment env;
    env.names = LegacyNames::production();
    env.devBuild = Paths::isDevBuild();
    const auto& bundle = Paths::appBundle();
    env.bundleRoot = bundle ? bundle->root : QString();
    env.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    env.dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    env.cacheHome = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    env.support = Paths::supportPath();
    env.standardDefaultsFile = Paths::standardDefaultsFile();
    env.registerLoginItem = [] { return LoginItem::mainApp().registerItem(); };
    env.loginItemStatus = [] { return int(LoginItem::mainApp().status()); };
    env.installedPacks = [] { return LexiconDownloader::shared().installed(); };
    env.store = []() -> Store& { return Store::shared(); };
    return env;
}

LegacyMigration::LegacyMigration(Environment environment)
    : m_env(std::move(environment)) {
}

QString LegacyMigration::earlierSettingsFile() const {
    return m_env.configHome + u'/' + m_env.names.identifier + u".conf"_s;
}

bool LegacyMigration::run(const QStringList& relaunchArguments) {
    if (m_env.devBuild)
        return false;
    const bool reportMode = relaunchArguments.contains(reportOption());
    const bool launchedBefore = carryOverSettings();
    carryOverData();
    if (m_migrated && !reportMode)
        cleanUp();

    QSettings present(m_env.standardDefaultsFile, QSettings::IniFormat);
    if (m_migrated && launchedBefore)
        present.setValue(u"openAtLoginPending"_s, true);
    if (isTrue(present.value(u"openAtLoginPending"_s)) && m_env.registerLoginItem) {
        m_env.registerLoginItem();
        present.remove(u"openAtLoginPending"_s);
    }
    present.sync();
    return false;
}

bool LegacyMigration::carryOverSettings() {
    const QString file = earlierSettingsFile();
    if (!QFileInfo(file).isFile())
        return false;
    bool launchedBefore = false;
    bool saved = false;
    {
        const QSettings earlier(file, QSettings::IniFormat);
        const QStringList keys = earlier.allKeys();
        if (keys.isEmpty())
            return false;
        launchedBefore = isTrue(earlier.value(u"launchedBefore"_s));
        QSettings present(m_env.standardDefaultsFile, QSettings::IniFormat);
        for (const QString& key : keys) {
            if (key.startsWith(u"NS"_s) || key.startsWith(u"Apple"_s) || present.contains(key))
                continue;
            present.setValue(key, earlier.value(key));
        }
        present.setValue(u"carriedOverFromPreviousName"_s, true);
        present.sync();
        saved = present.status() == QSettings::NoError;
    }
    // Until the present file holds the values on disk, the earlier file is their only copy.
    if (saved)
        QFile::remove(file);
    m_migrated = true;
    return launchedBefore;
}

void LegacyMigration::carryOverData() {
    const QString earlier = m_env.dataHome + u'/' + m_env.names.product;
    if (!QFileInfo(earlier).isDir())
        return;
    m_migrated = true;
    const QString& present = m_env.support;
    if (!occupied(present)) {
        QDir().mkpath(QFileInfo(present).path());
        QDir().rename(earlier, present);
    } else if (QFileInfo(present).isDir()) {
        const auto entries = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        for (const QString& name : QDir(earlier).entryList(entries)) {
            if (!occupied(present + u'/' + name))
                QDir().rename(earlier + u'/' + name, present + u'/' + name);
        }
        if (QDir(earlier).isEmpty(entries))
            QDir().rmdir(earlier);
        else
            QFile::moveToTrash(earlier);
    }
    moveDatabase();
}

QString LegacyMigration::earlierDatabase() const {
    return m_env.support + u'/' + m_env.names.database;
}

// A log and its index belong to the main file they were written with: SQLite applies a log
// beside any main file of that name. So the earlier database moves only whole, and only where
// no part of a present one stands; folding its log in first leaves one file to move. A present
// database with no rows of its own is one the bridge host made before the first start under
// the present name: the earlier rows go into it through SQLite, as the host may have it open.
// An earlier database whose log does not fold, or that fails the integrity check, is damaged
// and stays where it is.
void LegacyMigration::moveDatabase() {
    static const QStringList suffixes{QString(), u"-wal"_s, u"-shm"_s};
    const QString earlier = earlierDatabase();
    const QString present = m_env.support + u"/tivela.sqlite"_s;
    if (!QFileInfo(earlier).isFile())
        return;
    const bool presentStands = std::any_of(suffixes.cbegin(), suffixes.cend(), [&](auto& suffix) {
        return occupied(present + suffix);
    });
    std::unique_ptr<Store> empty;
    if (presentStands) {
        if (!QFileInfo(present).isFile() || !Store::isIntact(present))
            return;
        empty = std::make_unique<Store>(present);
        if (!empty->history(QString(), 1).isEmpty() || empty->phraseCount() > 0)
            return;
    }
    if (!Store::foldLog(earlier) || !Store::isIntact(earlier)) {
        StoreNotices::print(u"The earlier database \u201C"_s + QDir::toNativeSeparators(earlier) +
                            u"\u201D is damaged and was not moved in; it stays where it is."_s);
        return;
    }
    if (!empty) {
        for (const QString& suffix : suffixes) {
            if (occupied(earlier + suffix))
                QFile::rename(earlier + suffix, present + suffix);
        }
    } else if (empty->adoptRowsOf(earlier)) {
        for (const QString& suffix : suffixes)
            QFile::remove(earlier + suffix);
    }
}

void LegacyMigration::cleanUp() {
    removeTree(m_env.cacheHome + u'/' + m_env.names.identifier);
    const BrowserIntegration browsers(m_env.configHome, std::nullopt);
    for (const BrowserIntegration::Browser& browser : BrowserIntegration::browsers()) {
        const QString manifest = browsers.manifestPath(browser);
        QFile::remove(QFileInfo(manifest).path() + u'/' + m_env.names.bridge + u".json"_s);
    }
    QFile::remove(m_env.configHome + u"/autostart/"_s + m_env.names.identifier + u".desktop"_s);
}

QString LegacyMigration::report() const {
    const auto pair = SharedSettings::pair();
    const QSettings present(m_env.standardDefaultsFile, QSettings::IniFormat);
    const QString earlier = earlierSettingsFile();
    const bool earlierKeys = QFileInfo(earlier).isFile() &&
                             !QSettings(earlier, QSettings::IniFormat).allKeys().isEmpty();
    const QStringList lines{
        u"bundle: "_s + m_env.bundleRoot,
        u"pair: "_s + (pair ? pair->mine + u'/' + pair->second : u"none"_s),
        u"shortcut set: "_s + flag(present.contains(u"shortcut"_s)),
        u"launched before: "_s + flag(isTrue(present.value(u"launchedBefore"_s))),
        u"old settings file left: "_s + flag(QFileInfo::exists(earlier)),
        u"old settings domain left: "_s + flag(earlierKeys),
        u"data folder: "_s + m_env.support,
        u"database: "_s + flag(QFileInfo::exists(m_env.support + u"/tivela.sqlite"_s)),
        u"dictionaries: "_s + m_env.installedPacks().join(u','),
        u"phrasebook: "_s + QString::number(m_env.store().phrases(QString()).size()),
        u"history: "_s + QString::number(m_env.store().history(QString(), 200).size()),
        u"login item: "_s + QString::number(m_env.loginItemStatus ? m_env.loginItemStatus() : 0),
    };
    QString text = lines.join(u'\n') + u'\n';
    if (const QString database = earlierDatabase(); QFileInfo(database).isFile())
        text += u"earlier database: "_s + (Store::isIntact(database) ? u""_s : u"damaged, "_s) +
                u"left at "_s + database + u'\n';
    return text;
}

void LegacyMigration::writeReport(const QString& path) const {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(report().toUtf8());
        file.commit();
    }
}

} // namespace tivela
