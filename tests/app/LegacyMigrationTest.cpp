#include "app/LegacyMigration.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

Item phrase(const QString& id, const QString& text) {
    return {id, text, text + u"!"_s, u"en"_s, u"es"_s, 1, 0, 0, u"mac"_s};
}

// The lines of a text file; the last is empty when the text ends with a line feed.
QStringList lines(const QString& path) {
    return QString::fromUtf8(test::readFile(path)).split(u'\n');
}

QStringList filesUnder(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

class LegacyMigrationTest : public ::testing::Test {
protected:
    LegacyMigrationTest() {
        QFile::remove(Paths::defaultsFile());
        env.names = LegacyNames::production();
        env.bundleRoot = u"/opt/tivela"_s;
        env.configHome = root.filePath(u"config"_s);
        env.dataHome = root.filePath(u"data"_s);
        env.cacheHome = root.filePath(u"cache"_s);
        env.support = env.dataHome + u"/Tivela"_s;
        env.standardDefaultsFile = env.configHome + u"/dev.quorvanta.Tivela/app.conf"_s;
        env.registerLoginItem = [this] { return ++registered > 0; };
        env.loginItemStatus = [this] { return registered > 0 ? 1 : 0; };
        env.installedPacks = [this] { return downloader.installed(); };
        env.store = [this]() -> Store& {
            if (!store)
                store = std::make_unique<Store>(env.support + u"/tivela.sqlite"_s);
            return *store;
        };
    }

    QString earlierSettings() const {
        return env.configHome + u'/' + env.names.identifier + u".conf"_s;
    }
    QString earlierData() const { return env.dataHome + u'/' + env.names.product; }
    void writeEarlierSettings(const QVariantMap& values) {
        QSettings settings(earlierSettings(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }
    QVariant present(const QString& key) {
        return QSettings(env.standardDefaultsFile, QSettings::IniFormat).value(key);
    }
    bool run(const QStringList& arguments = {}) {
        LegacyMigration migration(env);
        EXPECT_FALSE(migration.run(arguments));
        return migration.migratedThisLaunch();
    }

    QTemporaryDir root;
    LegacyMigration::Environment env;
    int registered = 0;
    Lexicon lexicon{root.filePath(u"lexicon"_s)};
    LexiconDownloader downloader{lexicon, std::nullopt};
    std::unique_ptr<Store> store;
};

} // namespace

TEST_F(LegacyMigrationTest, SettingsCarryOverOnceAndPresentValuesWin) {
    EXPECT_EQ(env.names.product, u"Parlet"_s);
    EXPECT_TRUE(env.names.database.endsWith(u".sqlite"_s));

    writeEarlierSettings({{u"launchedBefore"_s, true},
                          {u"theme"_s, u"dark"_s},
                          {u"shortcut"_s, QByteArray("{\"keyCode\":17}")},
                          {u"window/size"_s, 3},
                          {u"NSWindowFrame"_s, u"x"_s},
                          {u"AppleLanguages"_s, u"y"_s}});
    QSettings(env.standardDefaultsFile, QSettings::IniFormat).setValue(u"theme"_s, u"light"_s);

    EXPECT_TRUE(run());
    EXPECT_EQ(present(u"theme"_s), u"light"_s);
    EXPECT_EQ(present(u"shortcut"_s), QByteArray("{\"keyCode\":17}"));
    EXPECT_EQ(present(u"window/size"_s).toInt(), 3);
    EXPECT_FALSE(present(u"NSWindowFrame"_s).isValid());
    EXPECT_FALSE(present(u"AppleLanguages"_s).isValid());
    EXPECT_EQ(present(u"carriedOverFromPreviousName"_s).toString(), u"true"_s);
    EXPECT_FALSE(QFile::exists(earlierSettings()));
    // Launched before under the earlier name: the login item is registered, once.
    EXPECT_EQ(registered, 1);
    EXPECT_FALSE(present(u"openAtLoginPending"_s).isValid());

    const QByteArray settled = test::readFile(env.standardDefaultsFile);
    EXPECT_FALSE(run());
    EXPECT_EQ(registered, 1);
    EXPECT_EQ(test::readFile(env.standardDefaultsFile), settled);

    // Not launched before: nothing pending. Without a login item service a pending
    // registration waits for a launch that has one.
    writeEarlierSettings({{u"launchedBefore"_s, false}, {u"extra"_s, 1}});
    EXPECT_TRUE(run());
    EXPECT_FALSE(present(u"openAtLoginPending"_s).isValid());
    writeEarlierSettings({{u"launchedBefore"_s, u"TRUE"_s}});
    env.registerLoginItem = nullptr;
    EXPECT_TRUE(run());
    EXPECT_EQ(present(u"openAtLoginPending"_s).toString(), u"true"_s);
    EXPECT_EQ(registered, 1);

    // A development build carries nothing over.
    writeEarlierSettings({{u"late"_s, 1}});
    env.devBuild = true;
    EXPECT_FALSE(run());
    EXPECT_TRUE(QFile::exists(earlierSettings()));
    EXPECT_FALSE(present(u"late"_s).isValid());
}

TEST_F(LegacyMigrationTest, EarlierSettingsStayUntilThePresentFileIsWritten) {
    writeEarlierSettings({{u"theme"_s, u"dark"_s}});
    // A folder where the present file belongs makes every write fail, also for root.
    ASSERT_TRUE(QDir().mkpath(env.standardDefaultsFile));
    run();
    EXPECT_EQ(QSettings(earlierSettings(), QSettings::IniFormat).value(u"theme"_s), u"dark"_s);

    QDir(env.standardDefaultsFile).removeRecursively();
    run();
    EXPECT_EQ(present(u"theme"_s), u"dark"_s);
    EXPECT_FALSE(QFile::exists(earlierSettings()));
}

TEST_F(LegacyMigrationTest, DataFolderMovesOrMergesAndTheRestGoesToTheTrash) {
    test::writeFile(earlierData() + u"/Lexicon/de.lex.gz"_s, "earlier de");
    test::writeFile(earlierData() + u"/notes.txt"_s, "earlier notes");
    EXPECT_TRUE(run());
    EXPECT_FALSE(QFileInfo::exists(earlierData()));
    EXPECT_EQ(filesUnder(env.support), (QStringList{u"Lexicon/de.lex.gz"_s, u"notes.txt"_s}));

    // Both folders: what only the earlier one has moves over, shared names keep the present
    // entry, and the earlier folder with what is left goes to the trash.
    test::writeFile(earlierData() + u"/Lexicon/fr.lex.gz"_s, "earlier fr");
    test::writeFile(earlierData() + u"/notes.txt"_s, "newer earlier notes");
    test::writeFile(earlierData() + u"/.hidden"_s, "hidden");
    EXPECT_TRUE(run());
    EXPECT_EQ(filesUnder(env.support),
              (QStringList{u".hidden"_s, u"Lexicon/de.lex.gz"_s, u"notes.txt"_s}));
    EXPECT_EQ(test::readFile(env.support + u"/notes.txt"_s), "earlier notes");
    EXPECT_FALSE(QFileInfo::exists(earlierData()));
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Trash/files"_s;
    EXPECT_TRUE(filesUnder(trash).contains(u"Parlet/notes.txt"_s))
        << filesUnder(trash).join(u' ').toStdString();
    EXPECT_TRUE(filesUnder(trash).contains(u"Parlet/Lexicon/fr.lex.gz"_s));

    // Everything moved: the empty earlier folder is deleted.
    test::writeFile(earlierData() + u"/only-earlier"_s, "x");
    const int trashed = filesUnder(trash).size();
    EXPECT_TRUE(run());
    EXPECT_FALSE(QFileInfo::exists(earlierData()));
    EXPECT_TRUE(QFile::exists(env.support + u"/only-earlier"_s));
    EXPECT_EQ(filesUnder(trash).size(), trashed);
    EXPECT_FALSE(run());
}

TEST_F(LegacyMigrationTest, DatabaseMovesWholeOrNotAtAll) {
    // The earlier database as a running program leaves it: the tables and rows still only in
    // the log.
    QTemporaryDir live;
    const QString livePath = live.filePath(u"db"_s);
    Store writer(livePath);
    ASSERT_TRUE(writer.addPhrase(phrase(u"p1"_s, u"earlier"_s)));
    ASSERT_TRUE(QFile::exists(livePath + u"-wal"_s));
    // A damaged one: its own rows, cut in half.
    QByteArray damaged;
    {
        QTemporaryDir whole;
        Store filled(whole.filePath(u"db"_s));
        for (int i = 0; i < 300; ++i)
            filled.addPhrase(phrase(QString::number(i), u"phrase %1 of a longer text"_s.arg(i)));
        ASSERT_TRUE(Store::foldLog(whole.filePath(u"db"_s)));
        damaged = test::readFile(whole.filePath(u"db"_s));
        damaged.truncate(damaged.size() / 2);
    }

    const QString earlier = earlierData() + u'/' + env.names.database;
    const QString moved = env.support + u"/tivela.sqlite"_s;
    enum class Present { nothing, junk, foreignLog, index, emptyDatabase, rowsOfItsOwn };
    struct Case {
        const char* name;
        Present present;
        bool earlierDamaged;
        bool moves;
    };
    for (const Case& c : {Case{"nothing present", Present::nothing, false, true},
                          Case{"present database", Present::junk, false, false},
                          Case{"a foreign log alone", Present::foreignLog, false, false},
                          Case{"an index alone", Present::index, false, false},
                          Case{"one the host made empty", Present::emptyDatabase, false, true},
                          Case{"one with rows of its own", Present::rowsOfItsOwn, false, false},
                          Case{"a damaged earlier one", Present::nothing, true, false}}) {
        SCOPED_TRACE(c.name);
        QDir(env.support).removeRecursively();
        if (c.earlierDamaged) {
            ASSERT_TRUE(test::writeFile(earlier, damaged));
        } else {
            for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
                ASSERT_TRUE(test::writeFile(earlier + suffix, test::readFile(livePath + suffix)));
        }
        QDir().mkpath(env.support);
        switch (c.present) {
        case Present::nothing:
            break;
        case Present::junk:
            ASSERT_TRUE(test::writeFile(moved, "present"));
            break;
        case Present::foreignLog:
            ASSERT_TRUE(test::writeFile(moved + u"-wal"_s, "present"));
            break;
        case Present::index:
            ASSERT_TRUE(test::writeFile(moved + u"-shm"_s, "present"));
            break;
        case Present::emptyDatabase:
            Store(moved).history(QString(), 1);
            break;
        case Present::rowsOfItsOwn:
            ASSERT_TRUE(Store(moved).addHistory(phrase(u"h"_s, u"its own"_s)));
            break;
        }
        QMap<QString, QByteArray> presentFiles;
        for (const QString& suffix : {u""_s, u"-wal"_s, u"-shm"_s})
            if (QFile::exists(moved + suffix))
                presentFiles.insert(suffix, test::readFile(moved + suffix));
        // Both folders exist, so the database moves inside the present one.
        test::writeFile(env.support + u"/keep"_s, "");
        run();
        const QString left = env.support + u'/' + env.names.database;
        if (c.moves) {
            EXPECT_EQ(QDir(env.support).entryList(QDir::Files),
                      (QStringList{u"keep"_s, u"tivela.sqlite"_s}));
            EXPECT_EQ(Store(moved).phrases(QString()).size(), 1);
            continue;
        }
        if (c.earlierDamaged) {
            EXPECT_EQ(test::readFile(left), damaged);
            EXPECT_FALSE(QFile::exists(moved));
            EXPECT_EQ(LegacyMigration(env).report().split(u'\n').value(12),
                      u"earlier database: damaged, left at "_s + left);
            continue;
        }
        EXPECT_TRUE(QFile::exists(left + u"-wal"_s));
        EXPECT_EQ(Store(left).phrases(QString()).size(), 1);
        for (auto it = presentFiles.cbegin(); it != presentFiles.cend(); ++it)
            EXPECT_EQ(test::readFile(moved + it.key()), it.value()) << it.key().toStdString();
    }
}

TEST_F(LegacyMigrationTest, CleanUpRemovesWhatTheEarlierNameLeftButNotInReportMode) {
    QTemporaryDir outside;
    test::writeFile(outside.filePath(u"precious"_s), "keep");
    const QString cache = env.cacheHome + u'/' + env.names.identifier;
    test::writeFile(cache + u"/blob"_s, "cache");
    QFile::link(outside.path(), cache + u"/link"_s);
    const QString earlierManifest =
        env.configHome + u"/chromium/NativeMessagingHosts/"_s + env.names.bridge + u".json"_s;
    const QString ourManifest =
        env.configHome + u"/chromium/NativeMessagingHosts/dev.quorvanta.tivela.json"_s;
    const QString braveManifest = env.configHome +
                                  u"/BraveSoftware/Brave-Browser-Beta/NativeMessagingHosts/"_s +
                                  env.names.bridge + u".json"_s;
    const QString autostart =
        env.configHome + u"/autostart/"_s + env.names.identifier + u".desktop"_s;
    for (const QString& file : {earlierManifest, ourManifest, braveManifest, autostart})
        test::writeFile(file, "{}");

    writeEarlierSettings({{u"a"_s, 1}});
    EXPECT_TRUE(run({u"--check-migration-report"_s, u"/tmp/report"_s}));
    for (const QString& file :
         QStringList{earlierManifest, braveManifest, autostart, cache + u"/blob"_s})
        EXPECT_TRUE(QFile::exists(file)) << file.toStdString();

    writeEarlierSettings({{u"a"_s, 1}});
    EXPECT_TRUE(run());
    for (const QString& file : {earlierManifest, braveManifest, autostart, cache})
        EXPECT_FALSE(QFileInfo::exists(file)) << file.toStdString();
    EXPECT_TRUE(QFile::exists(ourManifest));
    EXPECT_EQ(test::readFile(outside.filePath(u"precious"_s)), "keep");

    // A cache that is a link to elsewhere loses the link, never what it points at.
    QFile::link(outside.path(), cache);
    writeEarlierSettings({{u"a"_s, 1}});
    EXPECT_TRUE(run());
    EXPECT_FALSE(QFileInfo(cache).isSymLink());
    EXPECT_EQ(test::readFile(outside.filePath(u"precious"_s)), "keep");
}

TEST_F(LegacyMigrationTest, ReportTellsWhatTheMoveLeft) {
    QTemporaryDir dir;
    LegacyMigration migration(env);
    const QString file = dir.filePath(u"report.txt"_s);
    migration.writeReport(file);
    EXPECT_EQ(lines(file),
              (QStringList{u"bundle: /opt/tivela"_s, u"pair: none"_s, u"shortcut set: false"_s,
                           u"launched before: false"_s, u"old settings file left: false"_s,
                           u"old settings domain left: false"_s, u"data folder: "_s + env.support,
                           u"database: false"_s, u"dictionaries: "_s, u"phrasebook: 0"_s,
                           u"history: 0"_s, u"login item: 0"_s, QString()}));

    store.reset();
    QDir(env.support).removeRecursively();
    QDir().mkpath(earlierData());
    {
        Store earlier(earlierData() + u'/' + env.names.database);
        earlier.addPhrase(phrase(u"p1"_s, u"one"_s));
        earlier.addPhrase(phrase(u"p2"_s, u"two"_s));
        for (int i = 0; i < 205; ++i)
            earlier.addHistory(phrase(QString::number(i), QString::number(i)));
    }
    writeEarlierSettings({{u"launchedBefore"_s, true}, {u"shortcut"_s, QByteArray("{}")}});
    test::writeFile(earlierData() + u"/stays"_s, "");
    SharedSettings::setPair(LanguagePair{u"de"_s, u"en"_s});
    for (const QString& code : {u"en"_s, u"de"_s})
        test::writeFile(root.filePath(u"lexicon/"_s) + Lexicon::fileName(code), "pack");
    EXPECT_FALSE(migration.run({u"--check-migration-report"_s, file}));
    ASSERT_TRUE(migration.migratedThisLaunch());
    migration.writeReport(file);
    EXPECT_EQ(lines(file),
              (QStringList{u"bundle: /opt/tivela"_s, u"pair: de/en"_s, u"shortcut set: true"_s,
                           u"launched before: true"_s, u"old settings file left: false"_s,
                           u"old settings domain left: false"_s, u"data folder: "_s + env.support,
                           u"database: true"_s, u"dictionaries: de,en"_s, u"phrasebook: 2"_s,
                           u"history: 200"_s, u"login item: 1"_s, QString()}));

    // A folder where the report belongs: nothing is written, nothing fails.
    QDir().mkpath(dir.filePath(u"folder"_s));
    migration.writeReport(dir.filePath(u"folder"_s));
    EXPECT_TRUE(QFileInfo(dir.filePath(u"folder"_s)).isDir());
}
