#include "app/Updater.h"
#include "core/Paths.h"
#include "support/HttpServer.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Kind = UpdateNotice::Kind;
using Response = test::HttpServer::Response;

Response feed(const QString& version, const QString& link, const QString& enclosure = {}) {
    Response response;
    response.body =
        (u"<rss version=\"2.0\"><channel><item><title>Tivela "_s + version +
         u"</title><version>"_s + version + u"</version>"_s + u"<shortVersionString>1."_s +
         version + u"</shortVersionString>"_s +
         (link.isEmpty() ? QString() : u"<link>"_s + link + u"</link>"_s) +
         (enclosure.isEmpty() ? QString() : u"<enclosure url=\""_s + enclosure + u"\"/>"_s) +
         u"</item></channel></rss>"_s)
            .toUtf8();
    return response;
}

class UpdaterTest : public ::testing::Test {
protected:
    UpdaterTest() { server.route(u"/feed"_s, feed(u"11"_s, u"https://example.org/11"_s)); }

    std::unique_ptr<Updater> make(bool checks = true) {
        Updater::Environment env;
        env.feed = server.url(u"/feed"_s);
        env.version = u"12"_s;
        env.shortVersion = u"1.2"_s;
        env.standardDefaultsFile = dir.filePath(u"app.conf"_s);
        env.downloadsFolder = dir.filePath(u"Downloads"_s);
        env.now = [this] { return clock; };
        env.openUrl = [this](const QUrl& url) {
            opened << url;
            return true;
        };
        env.judgeIntervalMs = 10;
        env.limits = limits;
        if (!checks)
            QSettings(env.standardDefaultsFile, QSettings::IniFormat)
                .setValue(u"automaticallyChecksForUpdates"_s, false);
        auto updater = std::make_unique<Updater>(env);
        QObject::connect(updater.get(), &Updater::noticed,
                         [this](const UpdateNotice& notice) { notices << notice; });
        return updater;
    }
    int checks() const { return server.requests(u"/feed"_s); }
    // The notice of a check the user asked for.
    UpdateNotice ask(Updater& updater) {
        const qsizetype before = notices.size();
        updater.checkForUpdates();
        EXPECT_FALSE(updater.canCheck());
        EXPECT_TRUE(test::waitUntil([&] { return notices.size() > before; }));
        EXPECT_TRUE(updater.canCheck());
        return notices.value(before);
    }

    test::HttpServer server;
    UpdateLimits limits;
    QTemporaryDir dir;
    QDateTime clock = QDateTime(QDate(2030, 5, 1), QTime(9, 0), Qt::UTC);
    QList<UpdateNotice> notices;
    QList<QUrl> opened;
};

} // namespace

TEST_F(UpdaterTest, ScheduledChecksComeDailyByTheWallClock) {
    auto updater = make();
    EXPECT_TRUE(updater->automaticallyChecks());
    EXPECT_FALSE(updater->automaticallyDownloads());
    ASSERT_TRUE(test::waitUntil([&] { return checks() == 1 && updater->canCheck(); }));
    EXPECT_EQ(updater->lastCheck(), clock);

    clock = clock.addSecs(Updater::checkIntervalSeconds - 60);
    test::settle();
    EXPECT_EQ(checks(), 1);
    clock = clock.addSecs(120);
    ASSERT_TRUE(test::waitUntil([&] { return checks() == 2 && updater->canCheck(); }));

    // A clock set back does not hold checks off for the difference.
    clock = clock.addDays(-3);
    ASSERT_TRUE(test::waitUntil([&] { return checks() == 3 && updater->canCheck(); }));
    test::settle();
    EXPECT_EQ(checks(), 3);

    // A failed check leaves the date, so the next judgment tries again; it tells nobody.
    server.route(u"/feed"_s, Response{404, "gone", 0, 1, 0, {}, true});
    clock = clock.addDays(2);
    const auto last = updater->lastCheck();
    ASSERT_TRUE(test::waitUntil([&] { return checks() >= 5; }));
    EXPECT_EQ(updater->lastCheck(), last);

    // Turned off, here and for the next start.
    updater->setAutomaticallyChecks(false);
    test::settle();
    const int count = checks();
    updater = make();
    test::settle();
    EXPECT_EQ(checks(), count);
    EXPECT_FALSE(updater->automaticallyChecks());
    EXPECT_TRUE(notices.isEmpty());
}

TEST_F(UpdaterTest, ACheckTheUserAskedForTellsEveryOutcome) {
    auto updater = make(false);
    test::settle();
    EXPECT_EQ(checks(), 0);

    UpdateNotice notice = ask(*updater);
    EXPECT_EQ(notice.kind, Kind::upToDate);
    EXPECT_EQ(notice.current, u"1.2 (12)"_s);
    EXPECT_EQ(updater->lastCheck(), clock);

    server.route(u"/feed"_s, feed(u"13"_s, u"https://example.org/13"_s,
                                  u"https://example.org/files/t-13.tgz"_s));
    notice = ask(*updater);
    EXPECT_EQ(notice.kind, Kind::found);
    EXPECT_EQ(notice.available, u"1.13 (13)"_s);
    EXPECT_EQ(notice.title, u"Tivela 13"_s);
    EXPECT_EQ(notice.download, QUrl(u"https://example.org/13"_s));
    EXPECT_TRUE(updater->openDownload(notice));
    EXPECT_EQ(opened, QList<QUrl>{QUrl(u"https://example.org/13"_s)});
    // Checks off: nothing is downloaded however the second setting stands.
    updater->setAutomaticallyDownloads(true);
    ask(*updater);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"Downloads"_s)));

    // Only web addresses are offered or opened.
    server.route(u"/feed"_s,
                 feed(u"13"_s, u"file:///etc/passwd"_s, u"https://example.org/files/t-13.tgz"_s));
    EXPECT_EQ(ask(*updater).download, QUrl(u"https://example.org/files/t-13.tgz"_s));
    server.route(u"/feed"_s, feed(u"13"_s, u"file:///etc/passwd"_s, u"javascript:alert(1)"_s));
    notice = ask(*updater);
    EXPECT_EQ(notice.download, std::nullopt);
    notice.download = QUrl(u"file:///etc/passwd"_s);
    EXPECT_FALSE(updater->openDownload(notice));
    EXPECT_EQ(opened.size(), 1);

    server.route(u"/feed"_s, Response{404, "gone", 0, 1, 0, {}, true});
    notice = ask(*updater);
    EXPECT_EQ(notice.kind, Kind::failed);
    EXPECT_TRUE(notice.error.contains(u"404"_s));

    // Many asks at once make one check and one answer.
    server.route(u"/feed"_s, feed(u"11"_s, {}));
    const int before = checks();
    notices.clear();
    for (int i = 0; i < 50; ++i)
        updater->checkForUpdates();
    ASSERT_TRUE(test::waitUntil([&] { return updater->canCheck(); }));
    test::settle();
    EXPECT_EQ(checks(), before + 1);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_EQ(notices[0].kind, Kind::upToDate);
}

TEST_F(UpdaterTest, AutomaticDownloadsSaveTheReleaseFileOnce) {
    Response file;
    file.body = "release";
    server.route(u"/files/.tivela_1.3.tar.gz"_s, file);
    server.route(u"/feed"_s, feed(u"13"_s, u"https://example.org/13"_s,
                                  server.url(u"/files/.tivela_1.3.tar.gz"_s).toString()));
    {
        QSettings settings(dir.filePath(u"app.conf"_s), QSettings::IniFormat);
        settings.setValue(u"automaticallyDownloadsUpdates"_s, true);
    }
    auto updater = make();
    ASSERT_TRUE(test::waitUntil([&] { return notices.size() == 1; }));
    const QString saved = dir.filePath(u"Downloads/tivela_1.3.tar.gz"_s);
    EXPECT_EQ(notices[0].savedFile, saved);
    EXPECT_EQ(test::readFile(saved), "release");

    // The next day's check finds the release it told of and stays quiet; asked, it tells
    // again, and never saves over the file there.
    test::writeFile(saved, "mine");
    clock = clock.addDays(1);
    ASSERT_TRUE(test::waitUntil([&] { return checks() == 2 && updater->canCheck(); }));
    test::settle();
    EXPECT_EQ(notices.size(), 1);
    EXPECT_EQ(ask(*updater).savedFile, std::nullopt);
    EXPECT_EQ(test::readFile(saved), "mine");
    EXPECT_EQ(QDir(dir.filePath(u"Downloads"_s)).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"tivela_1.3.tar.gz"_s});
}

// A scheduled check tells of a release once, also across starts; "Check for Updates…" tells it
// every time, and a newer release is told again.
TEST_F(UpdaterTest, AReleaseIsAnnouncedOnce) {
    server.route(u"/feed"_s, feed(u"13"_s, u"https://example.org/13"_s));
    auto updater = make();
    ASSERT_TRUE(test::waitUntil([&] { return notices.size() == 1; }));
    EXPECT_EQ(notices[0].available, u"1.13 (13)"_s);
    for (int day = 1; day <= 2; ++day) {
        clock = clock.addDays(1);
        ASSERT_TRUE(test::waitUntil([&] { return checks() == day + 1 && updater->canCheck(); }));
        test::settle();
        EXPECT_EQ(notices.size(), 1);
        updater = make();
    }
    EXPECT_EQ(ask(*updater).kind, Kind::found);

    server.route(u"/feed"_s, feed(u"14"_s, u"https://example.org/14"_s));
    clock = clock.addDays(1);
    ASSERT_TRUE(test::waitUntil([&] { return notices.size() == 3; }));
    EXPECT_EQ(notices[2].available, u"1.14 (14)"_s);
    EXPECT_EQ(QSettings(dir.filePath(u"app.conf"_s), QSettings::IniFormat)
                  .value(u"announcedUpdateVersion"_s),
              u"14"_s);
}

// A feed trickled a byte at a time ends at its deadline; checks, asked or scheduled, go on.
TEST_F(UpdaterTest, ATrickledFeedEndsAtItsDeadline) {
    limits.transferTimeoutMs = 5000;
    limits.feedDeadlineMs = 1000;
    Response trickled = feed(u"13"_s, u"https://example.org/13"_s);
    trickled.chunks = int(trickled.body.size());
    trickled.chunkDelayMs = 50;
    server.route(u"/feed"_s, trickled);
    auto updater = make(false);
    const UpdateNotice notice = ask(*updater);
    EXPECT_EQ(notice.kind, Kind::failed);
    EXPECT_TRUE(notice.error.contains(u"longer than 1 seconds"_s)) << notice.error.toStdString();
    server.route(u"/feed"_s, feed(u"11"_s, {}));
    EXPECT_EQ(ask(*updater).kind, Kind::upToDate);
}

TEST_F(UpdaterTest, APreviewUpdaterChangesOnlyItsValues) {
    const QDateTime last(QDate(2030, 1, 2), QTime(3, 4), Qt::UTC);
    Updater updater(Updater::Preview{true, false, last, false});
    int changes = 0;
    QObject::connect(&updater, &Updater::changed, [&] { ++changes; });
    updater.setAutomaticallyChecks(false);
    updater.setAutomaticallyDownloads(true);
    updater.checkForUpdates();
    test::settle();
    EXPECT_EQ(changes, 3);
    EXPECT_FALSE(updater.automaticallyChecks());
    EXPECT_TRUE(updater.automaticallyDownloads());
    EXPECT_EQ(updater.lastCheck(), last);
    EXPECT_FALSE(updater.canCheck());
    EXPECT_FALSE(updater.openDownload({Kind::found, {}, {}, {}, QUrl(u"https://x.org"_s), {}, {}}));
    EXPECT_EQ(server.totalRequests(), 0);
}

TEST(UpdaterMakeTest, OnlyAFeedAddressMakesAnUpdater) {
    for (const QJsonValue& feed :
         {QJsonValue(), QJsonValue(u""_s), QJsonValue(7), QJsonValue(QJsonObject())}) {
        QJsonObject info{{u"CFBundleVersion"_s, u"1"_s}};
        if (!feed.isUndefined())
            info.insert(u"SUFeedURL"_s, feed);
        EXPECT_EQ(Updater::makeIfConfigured(Bundle{u"/opt/tivela"_s, info}), nullptr);
    }
    EXPECT_EQ(Updater::makeIfConfigured(std::nullopt), nullptr);
    const auto updater = Updater::makeIfConfigured(
        Bundle{u"/opt/tivela"_s, {{u"SUFeedURL"_s, u"http://127.0.0.1:1/feed"_s}}});
    ASSERT_NE(updater, nullptr);
    EXPECT_TRUE(updater->canCheck());
}
