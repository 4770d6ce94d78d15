#include "platform/updates/UpdateChecker.h"
#include "support/HttpServer.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Response = test::HttpServer::Response;
using Outcome = UpdateCheck::Outcome;

// The checker's futures are fulfilled by the main thread's event loop.
template <typename T>
std::optional<T> await(QFuture<T> future, int timeoutMs = 10000) {
    if (!test::waitUntil([&] { return future.isFinished(); }, timeoutMs))
        return std::nullopt;
    return future.result();
}

Response answer(int status, const QByteArray& body, int delayMs = 0) {
    Response response;
    response.status = status;
    response.body = body;
    response.delayMs = delayMs;
    return response;
}

QByteArray item(const QString& version, const QString& extra = QString()) {
    return (u"<item><title>Tivela "_s + version + u"</title><u:version>"_s + version +
            u"</u:version><link>https://example.org/tivela/"_s + version + u"</link>"_s + extra +
            u"</item>"_s)
        .toUtf8();
}

QByteArray feed(const QByteArray& items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:u=\"urn:example:updates\">\n"
           "<channel><title>Tivela</title>\n" +
           items + "</channel></rss>\n";
}

} // namespace

TEST(UpdateCheckerTest, VersionsCompareByTheirNumericParts) {
    const QList<std::tuple<QString, QString, std::optional<int>>> cases{
        {u"1.10"_s, u"1.9"_s, 1},  {u"1.9"_s, u"1.10"_s, -1},
        {u"1.0"_s, u"1"_s, 0},     {u"2"_s, u"1.99.99"_s, 1},
        {u"007"_s, u"7"_s, 0},     {u" 12 "_s, u"12"_s, 0},
        {u"1.0.1"_s, u"1"_s, 1},   {u"99999999999999999999"_s, u"9999999999999999999"_s, 1},
        {u"1.2b"_s, u"1"_s, {}},   {u"1..2"_s, u"1"_s, {}},
        {u""_s, u"1"_s, {}},       {u"-1"_s, u"1"_s, {}},
        {u"1"_s, u"\u0661"_s, {}},
    };
    for (const auto& [a, b, order] : cases)
        EXPECT_EQ(UpdateFeed::compareVersions(a, b), order)
            << a.toStdString() << " " << b.toStdString();
}

TEST(UpdateCheckerTest, FeedsGiveTheNewestReleaseOrSayWhyNot) {
    test::HttpServer server;
    const QByteArray attributes =
        "<rss version=\"2.0\" xmlns:x=\"urn:other\" xmlns:y=\"urn:another\"><channel><item>"
        "<enclosure url=\"https://example.org/t-2.0.tar.gz\" x:version=\"20\" "
        "y:shortVersionString=\"2.0\" length=\"1\" type=\"application/gzip\"/>"
        "</item></channel></rss>";
    struct Case {
        const char* name;
        Response response;
        Outcome outcome;
        // The found release's version, or a piece of the error.
        QString expected;
    };
    const Response oversize = answer(200, QByteArray(4 * 1024 * 1024 + 1, ' '));
    Response unmeasured = oversize;
    unmeasured.sendLength = false;
    unmeasured.chunks = 8;
    Response trickled = answer(200, feed(item(u"1.3"_s)));
    trickled.chunks = int(trickled.body.size());
    trickled.chunkDelayMs = 100;
    const QList<Case> cases{
        {"newest by version, not by place",
         answer(200, feed(item(u"1.9"_s) + item(u"1.10"_s) + item(u"1.2"_s))), Outcome::found,
         u"1.10"_s},
        {"versions in other namespaces, on the enclosure", answer(200, attributes), Outcome::found,
         u"20"_s},
        {"the current version is not newer",
         answer(200, feed(item(u"1.2.0"_s) + item(u"0.9"_s))),
         Outcome::upToDate,
         {}},
        {"no items", answer(200, feed({})), Outcome::upToDate, {}},
        {"releases with unreadable versions",
         answer(200, feed(item(u"2.0beta"_s))),
         Outcome::upToDate,
         {}},
        {"not found", answer(404, "gone"), Outcome::failed, u"status 404"_s},
        {"malformed", answer(200, feed(item(u"1.3"_s)).chopped(8)), Outcome::failed,
         u"not an RSS feed"_s},
        {"undeclared prefix", answer(200, feed(item(u"1.3"_s, u"<z:a/>"_s))), Outcome::failed,
         u"not an RSS feed"_s},
        {"not RSS", answer(200, "<feed><entry/></feed>"), Outcome::failed, u"not an RSS feed"_s},
        {"too large", oversize, Outcome::failed, u"larger than 4 MiB"_s},
        {"too large without a length", unmeasured, Outcome::failed, u"larger than 4 MiB"_s},
        {"silent", answer(200, feed({}), 3000), Outcome::failed, u"sent nothing for 0.8 seconds"_s},
        // A byte now and then, never silent long enough for the timeout without data.
        {"trickled", trickled, Outcome::failed, u"longer than 2.5 seconds"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = u'/' + QString::fromUtf8(c.name).replace(u' ', u'-');
        server.route(path, c.response);
        UpdateChecker checker(server.url(path), u"1.2"_s,
                              // Room for a loaded machine to pass four megabytes.
                              {.transferTimeoutMs = 800,
                               .maxFeedBytes = 4 * 1024 * 1024,
                               .maxFileBytes = 1024,
                               .feedDeadlineMs = 2500});
        const auto check = await(checker.check());
        ASSERT_TRUE(check);
        EXPECT_EQ(check->outcome, c.outcome) << check->error.toStdString();
        if (c.outcome == Outcome::found) {
            EXPECT_EQ(check->item->version, c.expected);
        } else if (c.outcome == Outcome::failed) {
            EXPECT_TRUE(check->error.contains(c.expected)) << check->error.toStdString();
        }
    }

    // The found release, whole.
    server.route(
        u"/full"_s,
        answer(200,
               feed(item(u"1.3"_s, u"<enclosure url=\"https://example.org/t.tgz\"/>"
                                   u"<u:shortVersionString>1.3 beta</u:shortVersionString>"_s))));
    UpdateChecker checker(server.url(u"/full"_s), u"1.2"_s);
    EXPECT_EQ(await(checker.check())->item, (UpdateItem{u"Tivela 1.3"_s, u"1.3"_s, u"1.3 beta"_s,
                                                        QUrl(u"https://example.org/tivela/1.3"_s),
                                                        QUrl(u"https://example.org/t.tgz"_s)}));

    // Only web addresses are read.
    for (const QString& address : {u"file:///etc/passwd"_s, u"ftp://example.org/feed"_s, u""_s}) {
        UpdateChecker local{QUrl(address), u"1"_s};
        EXPECT_EQ(await(local.check())->outcome, Outcome::failed);
    }
}

TEST(UpdateCheckerTest, ReleaseFilesLandUnderASafeNameAndNeverOverAnother) {
    const QList<std::pair<QString, std::optional<QString>>> names{
        {u"https://example.org/d/tivela-1.3_amd64.tar.gz"_s, u"tivela-1.3_amd64.tar.gz"_s},
        {u"https://example.org/d/..%2F..%2F.bashrc"_s, u"bashrc"_s},
        {u"https://example.org/d/%2e%2e"_s, std::nullopt},
        {u"https://example.org/d/"_s, std::nullopt},
        {u"https://example.org/d/na%20me%0A\u00fc$(x).deb?q=1#f"_s, u"namex.deb"_s},
        {u"https://example.org/" + QString(300, u'a'), QString(200, u'a')},
    };
    for (const auto& [url, name] : names)
        EXPECT_EQ(UpdateChecker::fileName(QUrl(url)), name) << url.toStdString();

    test::HttpServer server;
    const QByteArray body(100000, 'x');
    Response pieces = answer(200, body);
    pieces.chunks = 5;
    server.route(u"/files/tivela.tar.gz"_s, pieces);
    server.route(u"/files/big.tar.gz"_s, answer(200, QByteArray(2000, 'x')));
    server.route(u"/files/missing.tar.gz"_s, answer(404, "no"));
    QTemporaryDir dir;
    const QString downloads = dir.filePath(u"Downloads"_s);
    UpdateChecker checker(
        server.url(u"/feed"_s), u"1"_s,
        {.transferTimeoutMs = 1000, .maxFeedBytes = 1000, .maxFileBytes = 150000});

    const auto saved = await(checker.download(server.url(u"/files/tivela.tar.gz"_s), downloads));
    ASSERT_TRUE(saved);
    ASSERT_EQ(*saved, std::optional(downloads + u"/tivela.tar.gz"_s));
    EXPECT_EQ(test::readFile(**saved), body);
    EXPECT_EQ(QFile::permissions(**saved) & (QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                             QFileDevice::ExeOther | QFileDevice::ExeUser),
              QFileDevice::Permissions());

    // An existing file is never replaced; failures leave nothing behind.
    test::writeFile(downloads + u"/tivela.tar.gz"_s, "mine");
    EXPECT_EQ(*await(checker.download(server.url(u"/files/tivela.tar.gz"_s), downloads)),
              std::nullopt);
    EXPECT_EQ(test::readFile(downloads + u"/tivela.tar.gz"_s), "mine");
    UpdateChecker small(server.url(u"/feed"_s), u"1"_s,
                        {.transferTimeoutMs = 1000, .maxFeedBytes = 1000, .maxFileBytes = 1000});
    for (const QString& path : {u"/files/big.tar.gz"_s, u"/files/missing.tar.gz"_s})
        EXPECT_EQ(*await(small.download(server.url(path), downloads)), std::nullopt);

    // A file trickled for 3 s: longer than its size takes at the slow rate (1 s), and, without
    // a size, longer than the most a file may take (2 s).
    Response trickled = answer(200, QByteArray(1500, 'x'));
    trickled.chunks = 30;
    trickled.chunkDelayMs = 100;
    server.route(u"/files/measured.tar.gz"_s, trickled);
    trickled.sendLength = false;
    server.route(u"/files/unmeasured.tar.gz"_s, trickled);
    UpdateChecker patient(server.url(u"/feed"_s), u"1"_s,
                          {.transferTimeoutMs = 1000,
                           .maxFileBytes = 150000,
                           .slowBytesPerSecond = 1500,
                           .fileDeadlineMinMs = 500,
                           .fileDeadlineMaxMs = 2000});
    for (const QString& path : {u"/files/measured.tar.gz"_s, u"/files/unmeasured.tar.gz"_s})
        EXPECT_EQ(*await(patient.download(server.url(path), downloads)), std::nullopt)
            << path.toStdString();
    EXPECT_EQ(*await(small.download(QUrl(u"file:///etc/passwd"_s), downloads)), std::nullopt);
    EXPECT_EQ(QDir(downloads).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"tivela.tar.gz"_s});
}

TEST(UpdateCheckerTest, ABurstOfTransfersAndAnEndInTheMiddleOfThem) {
    test::HttpServer server;
    server.route(u"/feed"_s, answer(200, feed(item(u"2"_s))));
    Response slow = answer(200, QByteArray(50000, 'x'));
    slow.chunks = 50;
    slow.chunkDelayMs = 20;
    server.route(u"/slow.tar.gz"_s, slow);
    server.route(u"/slow-feed"_s, answer(200, feed(item(u"2"_s)), 2000));
    QTemporaryDir dir;

    UpdateChecker checker(server.url(u"/feed"_s), u"1"_s);
    QList<QFuture<UpdateCheck>> checks;
    QList<QFuture<std::optional<QString>>> downloads;
    for (int i = 0; i < 60; ++i)
        checks << checker.check();
    for (int i = 0; i < 10; ++i)
        downloads << checker.download(server.url(u"/files/f%1.tgz"_s.arg(i)), dir.path());
    for (const auto& check : checks)
        EXPECT_EQ(await(check)->item->version, u"2"_s);
    for (const auto& download : downloads)
        EXPECT_EQ(*await(download), std::nullopt);

    // A checker that goes away mid-transfer cancels what it started and leaves no file.
    auto leaving = std::make_unique<UpdateChecker>(server.url(u"/slow-feed"_s), u"1"_s);
    const QFuture<UpdateCheck> check = leaving->check();
    const auto download = leaving->download(server.url(u"/slow.tar.gz"_s), dir.path());
    test::waitUntil([&] { return server.requests(u"/slow.tar.gz"_s) > 0; });
    leaving.reset();
    EXPECT_TRUE(check.isCanceled());
    EXPECT_TRUE(download.isCanceled());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}
