#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace tivela {

class Store;

// The names the application was published under before it became Tivela.
struct LegacyNames {
    // The product name, which named the data folder.
    QString product;
    // The identifier, which named the settings file, the cache folder and the autostart entry.
    QString identifier;
    QString database;
    // The native-messaging host's name, which named the browsers' manifests.
    QString bridge;

    // The program keeps them in a form of its own rather than in plain text.
    static LegacyNames production();
    // Turns a kept form back into the name.
    static QString unshift(const QString& kept);
};

// Carries an installation made under the earlier name over to the present one, once, before
// anything else reads settings or data: the settings, the data folder and its database, and
// what the earlier name left behind. Every step tests for what it moves or deletes, so a
// second run finds nothing to do; values already present win over the earlier ones.
class LegacyMigration {
public:
    struct Environment {
        LegacyNames names;
        // A development build carries nothing over.
        bool devBuild = false;
        // The running program's install folder, for the report.
        QString bundleRoot;
        // The XDG folders: settings, autostart and browsers; data; caches.
        QString configHome;
        QString dataHome;
        QString cacheHome;
        // The present data folder and settings file.
        QString support;
        QString standardDefaultsFile;
        // The application's login item: registers it (true on success); its status (0 not
        // registered, 1 enabled, 3 not found). Without a way to register it, a pending
        // registration waits for a start that has one.
        std::function<bool()> registerLoginItem;
        std::function<int()> loginItemStatus;
        // For the report: the installed dictionary packs, and the store.
        std::function<QStringList()> installedPacks;
        std::function<Store&()> store;

        // The user's folders, the running program's bundle and login item, the shared
        // downloader and store.
        static Environment production();
    };

    explicit LegacyMigration(Environment environment);

    // Carries over what the earlier name left. True would mean the program was moved and
    // started again under its present name, which never happens here: Linux programs are not
    // renamed by their own hand. With "--check-migration-report" among the arguments the
    // clean-up is left out.
    bool run(const QStringList& relaunchArguments);
    // Whether this run carried settings over or found the earlier data folder.
    bool migratedThisLaunch() const { return m_migrated; }

    // Twelve lines on the state the move left, read afresh; a thirteenth while the earlier
    // database is still in the data folder, saying whether it is damaged.
    QString report() const;
    // Writes the report atomically; a failure is ignored.
    void writeReport(const QString& path) const;

private:
    QString earlierSettingsFile() const;
    // Copies the earlier settings over; whether the earlier name was launched before.
    bool carryOverSettings();
    void carryOverData();
    void moveDatabase();
    QString earlierDatabase() const;
    void cleanUp();

    Environment m_env;
    bool m_migrated = false;
};

} // namespace tivela
