#include "core/LexiconDownloader.h"
#include "support/HttpServer.h"
#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Response = test::HttpServer::Response;
using Failure = LexiconDownloader::Failure;

// The downloader's futures are fulfilled on its own thread, so a test may simply block.
template <typename T>
std::optional<T> waitFor(const QFuture<T>& future, int timeoutMs = 30000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!future.isFinished() && !deadline.hasExpired())
        QThread::msleep(5);
    return future.isFinished() && future.resultCount() > 0 ? std::optional(future.result())
                                                           : std::nullopt;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

Response pack(int delayMs = 0) {
    Response response;
    response.body = test::smallGermanPack();
    response.delayMs = delayMs;
    return response;
}

// A pack sent in eight pieces, chunkDelayMs apart.
Response trickledPack(int chunkDelayMs) {
    Response response = pack();
    response.chunks = 8;
    response.chunkDelayMs = chunkDelayMs;
    return response;
}

qint64 ageOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return qint64(::time(nullptr)) - qint64(status.st_mtim.tv_sec);
}

// Lock files and unfinished downloads: anything in the folder but finished packs.
QStringList leftovers(const QString& folder) {
    static const QRegularExpression packName(u"^[a-z]+\\.lex\\.gz$"_s);
    QStringList names;
    for (const QString& name :
         QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (!packName.match(name).hasMatch())
            names << name;
    }
    return names;
}

class LexiconDownloaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(test::smallGermanPack().isEmpty());
        QDir().mkpath(folder());
    }

    QString folder() const { return m_dir.filePath(u"Lexicon"_s); }
    QString packPath(const QString& code) const { return folder() + u'/' + code + u".lex.gz"_s; }
    QString lockPath(const QString& code) const { return packPath(code) + u".lock"_s; }

    std::unique_ptr<LexiconDownloader> downloader(const QString& path = u"/packs"_s) {
        return std::make_unique<LexiconDownloader>(m_lexicon, m_server.url(path));
    }

    // Requests for packs, not for the index each download reads first.
    int packRequests() const {
        return m_server.totalRequests() - m_server.requests(u"/packs/index.json"_s);
    }

    QTemporaryDir m_dir;
    Lexicon m_lexicon{m_dir.filePath(u"Lexicon"_s)};
    test::HttpServer m_server;
};

} // namespace

TIVELA_TEST_HELPER(ensurePack) {
    Lexicon lexicon(args.value(2));
    LexiconDownloader downloader(lexicon, QUrl(args.value(0)));
    const auto installed = waitFor(downloader.ensure(args.value(1)), 60000);
    QTextStream(stdout) << (!installed ? "timeout" : *installed ? "true" : "false");
    return 0;
}

// Leaves in the middle of a download, by returning from main or by exit(), with a downloader
// kept the way LexiconDownloader::shared() keeps its own.
TIVELA_TEST_HELPER(leaveDuringDownload) {
    static Lexicon* const lexicon = new Lexicon(args.value(2));
    static LexiconDownloader* const downloader =
        new LexiconDownloader(*lexicon, QUrl(args.value(0)));
    const QFuture<bool> future = downloader->ensure(args.value(1));
    const QString lock = args.value(2) + u'/' + args.value(1) + u".lex.gz.lock"_s;
    const bool started = waitUntil([&] { return QFile::exists(lock); });
    // The download is under way: its request waits for the server.
    QThread::msleep(300);
    QTextStream(stdout) << (started ? "started" : "not started");
    QTextStream(stdout).flush();
    if (args.value(3) == "exit"_L1)
        std::exit(0);
    return 0;
}

TEST(LexiconDownloaderStaticTest, BaseAddressesAndThePacksOfAPair) {
    EXPECT_FALSE(LexiconDownloader::baseURL(QString()));
    EXPECT_FALSE(LexiconDownloader::baseURL(u"http://[::1"_s));
    EXPECT_EQ(LexiconDownloader::baseURL(u"https://example.org/packs/"_s),
              QUrl(u"https://example.org/packs/"_s));
    // A test program has no bundle, so no server.
    EXPECT_FALSE(LexiconDownloader::shared().baseURL());

    EXPECT_EQ(LexiconDownloader::packs(u"zh-TW"_s, u"de"_s),
              (QStringList{u"de"_s, u"en"_s, u"zh"_s}));
    EXPECT_EQ(LexiconDownloader::packs(u"xx"_s, u"yy"_s), QStringList{u"en"_s});
    EXPECT_EQ(LexiconDownloader::packs(u"en"_s, u"en"_s), QStringList{u"en"_s});
    EXPECT_EQ(LexiconDownloader::packs(u"ru"_s, u"uk"_s), (QStringList{u"en"_s, u"ru"_s, u"uk"_s}));
}

TEST_F(LexiconDownloaderTest, WithoutAServerOnlyInstalledPacksAreThere) {
    LexiconDownloader none(m_lexicon, std::nullopt);
    EXPECT_EQ(waitFor(none.ensure(u"de"_s)), false);
    ASSERT_TRUE(test::writeFile(packPath(u"de"_s), test::smallGermanPack()));
    EXPECT_EQ(waitFor(none.ensure(u"de"_s)), true);
    EXPECT_EQ(waitFor(none.ensure(QStringList{u"de"_s, u"fr"_s})), false);
}

TEST_F(LexiconDownloaderTest, CodesWithoutPacksNeverReachTheServerOrTheDisk) {
    const auto packs = downloader();
    EXPECT_EQ(waitFor(packs->ensure(u"xx"_s)), false);
    EXPECT_EQ(waitFor(packs->ensure(u"../escape"_s)), false);
    EXPECT_EQ(waitFor(packs->ensure(QStringList{u"xx"_s, u"../escape"_s})), true);
    EXPECT_EQ(waitFor(packs->ensure(QStringList())), true);
    EXPECT_EQ(m_server.totalRequests(), 0);
    EXPECT_TRUE(QDir(folder()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(LexiconDownloaderTest, OnlyAWholePackAnsweredWith200IsInstalled) {
    m_server.route(u"/packs/de.lex.gz"_s, pack());
    m_server.route(u"/packs/fr.lex.gz"_s, pack());
    Response junk;
    junk.body = "<html>Welcome to the captive portal</html>";
    m_server.route(u"/packs/es.lex.gz"_s, junk);
    Response truncated = pack();
    truncated.body.chop(12);
    m_server.route(u"/packs/pt.lex.gz"_s, truncated);
    Response moved;
    moved.status = 302;
    moved.location = m_server.url(u"/mirror/nl.lex.gz"_s).toEncoded();
    m_server.route(u"/packs/nl.lex.gz"_s, moved);
    m_server.route(u"/mirror/nl.lex.gz"_s, pack());
    Response notFoundButPack = pack();
    notFoundButPack.status = 404;
    m_server.route(u"/packs/sv.lex.gz"_s, notFoundButPack);

    const auto packs = downloader(u"/packs"_s);
    EXPECT_EQ(waitFor(packs->ensure(u"de"_s)), true);
    EXPECT_EQ(m_server.requests(u"/packs/de.lex.gz"_s), 1);
    EXPECT_EQ(test::readFile(packPath(u"de"_s)), test::smallGermanPack());
    EXPECT_TRUE(LexiconPack::load(packPath(u"de"_s), u"de"_s));
    // A trailing "/" on the base does not double the slash.
    EXPECT_EQ(waitFor(downloader(u"/packs/"_s)->ensure(u"fr"_s)), true);
    EXPECT_EQ(m_server.requests(u"/packs/fr.lex.gz"_s), 1);
    EXPECT_EQ(waitFor(packs->ensure(u"nl"_s)), true);
    EXPECT_EQ(m_server.requests(u"/mirror/nl.lex.gz"_s), 1);

    for (const QString& code : {u"es"_s, u"pt"_s, u"sv"_s, u"it"_s}) {
        EXPECT_EQ(waitFor(packs->ensure(code)), false) << code.toStdString();
        EXPECT_FALSE(QFile::exists(packPath(code))) << code.toStdString();
    }
    EXPECT_EQ(m_server.requests(u"/packs/it.lex.gz"_s), 1);
    EXPECT_EQ(waitFor(packs->ensure(QStringList{u"de"_s, u"it"_s})), false);
    EXPECT_EQ(packs->installed(), (QStringList{u"de"_s, u"fr"_s, u"nl"_s}));
    EXPECT_EQ(leftovers(folder()), QStringList());
}

TEST_F(LexiconDownloaderTest, APackInALocalFolderIsAFinishedDownload) {
    // Larger than one piece of the copy, so that it takes several turns of the event loop.
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath(u"files"_s)));
    ASSERT_TRUE(test::generatePack({u"--lang"_s, u"fr"_s, u"--lines"_s, u"8000"_s, u"--plain"_s,
                                    m_dir.filePath(u"files/fr.lex.gz"_s)}));
    const QByteArray large = test::readFile(m_dir.filePath(u"files/fr.lex.gz"_s));
    ASSERT_GT(large.size(), 1 << 20);
    ASSERT_TRUE(test::writeFile(m_dir.filePath(u"files/de.lex.gz"_s), test::smallGermanPack()));
    ASSERT_TRUE(
        test::writeFile(m_dir.filePath(u"files/es.lex.gz"_s), test::smallGermanPack().chopped(12)));
    ASSERT_TRUE(test::writeFile(m_dir.filePath(u"files/pt.lex.gz"_s), "<html>portal</html>"));
    // A lock of a live process is waited on as with a server.
    ASSERT_TRUE(test::writeFile(lockPath(u"nl"_s), QByteArray::number(qint64(::getpid()))));
    ASSERT_TRUE(test::writeFile(m_dir.filePath(u"files/nl.lex.gz"_s), test::smallGermanPack()));

    LexiconDownloader files(
        m_lexicon,
        LexiconDownloader::baseURL(QUrl::fromLocalFile(m_dir.filePath(u"files"_s)).toString()));
    QList<QFuture<bool>> burst;
    for (int i = 0; i < 8; ++i)
        burst << files.ensure(i % 2 ? u"de"_s : u"fr"_s);
    for (const QFuture<bool>& future : burst)
        EXPECT_EQ(waitFor(future), true);
    EXPECT_EQ(test::readFile(packPath(u"de"_s)), test::smallGermanPack());
    EXPECT_EQ(test::readFile(packPath(u"fr"_s)), large);
    for (const QString& code : {u"es"_s, u"pt"_s, u"it"_s}) {
        EXPECT_EQ(waitFor(files.ensure(code)), false) << code.toStdString();
        EXPECT_FALSE(QFile::exists(packPath(code))) << code.toStdString();
    }
    const QFuture<bool> waiting = files.ensure(u"nl"_s);
    QThread::msleep(3 * LexiconDownloader::pollMilliseconds);
    EXPECT_FALSE(waiting.isFinished());
    EXPECT_FALSE(QFile::exists(packPath(u"nl"_s)));
    ASSERT_TRUE(QFile::remove(lockPath(u"nl"_s)));
    EXPECT_EQ(waitFor(waiting), true);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

TEST_F(LexiconDownloaderTest, AClosedPortFailsFast) {
    LexiconDownloader packs(m_lexicon,
                            QUrl(u"http://127.0.0.1:%1/packs"_s.arg(test::closedPort())));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(waitFor(packs.ensure(u"de"_s)), false);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

TEST_F(LexiconDownloaderTest, ConcurrentCallersShareOneDownload) {
    m_server.route(u"/packs/de.lex.gz"_s, pack(600));
    m_server.route(u"/packs/zh.lex.gz"_s, pack(600));
    const auto packs = downloader();

    const QFuture<bool> first = packs->ensure(u"de"_s);
    const QFuture<bool> second = packs->ensure(u"de"_s);
    const QFuture<bool> traditional = packs->ensure(u"zh-TW"_s);
    const QFuture<bool> simplified = packs->ensure(u"zh"_s);
    const QFuture<bool> all = packs->ensure(QStringList{u"zh-TW"_s, u"de"_s, u"zh"_s, u"xx"_s});
    for (const QFuture<bool>& future : {first, second, traditional, simplified, all})
        EXPECT_EQ(waitFor(future), true);
    EXPECT_EQ(m_server.requests(u"/packs/de.lex.gz"_s), 1);
    EXPECT_EQ(m_server.requests(u"/packs/zh.lex.gz"_s), 1);
    EXPECT_EQ(packs->installed(), (QStringList{u"de"_s, u"zh"_s}));

    // Installed packs are not fetched again.
    EXPECT_EQ(waitFor(packs->ensure(u"de"_s)), true);
    EXPECT_EQ(packRequests(), 2);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

TEST_F(LexiconDownloaderTest, TwoProcessesMakeOneRequestAndBothSucceed) {
    m_server.route(u"/packs/de.lex.gz"_s, pack(1500));
    const QStringList args{m_server.url(u"/packs"_s).toString(), u"de"_s, folder()};
    auto first = test::startHelper(u"ensurePack"_s, args);
    auto second = test::startHelper(u"ensurePack"_s, args);
    const auto a = test::finish(*first, 60000);
    const auto b = test::finish(*second, 60000);
    EXPECT_EQ(a.out, "true"_ba) << a.err.toStdString();
    EXPECT_EQ(b.out, "true"_ba) << b.err.toStdString();
    EXPECT_EQ(packRequests(), 1);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

TEST_F(LexiconDownloaderTest, StaleLocksAreTakenOver) {
    m_server.route(u"/packs/de.lex.gz"_s, pack());
    m_server.route(u"/packs/fr.lex.gz"_s, pack());
    const auto packs = downloader();

    ASSERT_TRUE(test::writeFile(lockPath(u"de"_s), QByteArray::number(test::deadPid())));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(waitFor(packs->ensure(u"de"_s)), true);
    EXPECT_LT(timer.elapsed(), LexiconDownloader::pollMilliseconds * 4);

    ASSERT_TRUE(test::writeFile(lockPath(u"fr"_s), QByteArray::number(qint64(::getpid()))));
    test::ageFile(lockPath(u"fr"_s), LexiconDownloader::staleSeconds + 10);
    EXPECT_EQ(waitFor(packs->ensure(u"fr"_s)), true);

    // No holder makes a link or a folder: each is stale at once and goes itself.
    m_server.route(u"/packs/es.lex.gz"_s, pack());
    m_server.route(u"/packs/it.lex.gz"_s, pack());
    const QString target = m_dir.filePath(u"target"_s);
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                        QFile::encodeName(lockPath(u"es"_s)).constData()),
              0);
    ASSERT_TRUE(QDir().mkpath(lockPath(u"it"_s)));
    timer.restart();
    EXPECT_EQ(waitFor(packs->ensure(QStringList{u"es"_s, u"it"_s})), true);
    EXPECT_LT(timer.elapsed(), LexiconDownloader::pollMilliseconds * 4);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(packRequests(), 4);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

// Having taken over a dead process's lock, the downloader is the holder and stops waiting: a
// waiter's poll would give its own download up after the waiting time, or fetch it twice.
TEST_F(LexiconDownloaderTest, ALockTakenOverIsHeldNotWaitedOn) {
    m_server.route(u"/packs/de.lex.gz"_s, trickledPack(300));
    const auto packs = downloader();
    ASSERT_TRUE(test::writeFile(lockPath(u"de"_s), QByteArray::number(test::deadPid())));
    const QFuture<bool> download = packs->ensure(u"de"_s);
    ASSERT_TRUE(waitUntil([&] {
        return test::readFile(lockPath(u"de"_s)) == QByteArray::number(qint64(::getpid()));
    }));
    ASSERT_TRUE(waitUntil([&] { return packRequests() == 1; }));
    QFile::remove(lockPath(u"de"_s));
    EXPECT_EQ(waitFor(download), true);
    EXPECT_EQ(packRequests(), 1);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

TEST_F(LexiconDownloaderTest, ALiveHolderIsWaitedForUntilItsPackAppears) {
    m_server.route(u"/packs/de.lex.gz"_s, pack());
    const auto packs = downloader();
    ASSERT_TRUE(test::writeFile(lockPath(u"de"_s), QByteArray::number(qint64(::getpid()))));
    const QFuture<bool> waiting = packs->ensure(u"de"_s);
    QThread::msleep(700);
    EXPECT_FALSE(waiting.isFinished());
    ASSERT_TRUE(test::writeFile(packPath(u"de"_s), test::smallGermanPack()));
    EXPECT_EQ(waitFor(waiting), true);
    EXPECT_EQ(m_server.totalRequests(), 0);
    EXPECT_TRUE(QFile::exists(lockPath(u"de"_s))); // the holder's, not ours to remove
}

TEST_F(LexiconDownloaderTest, AWaiterTakesOverWhenTheHolderGivesUp) {
    m_server.route(u"/packs/de.lex.gz"_s, pack());
    const auto packs = downloader();
    ASSERT_TRUE(test::writeFile(lockPath(u"de"_s), QByteArray::number(qint64(::getpid()))));
    const QFuture<bool> waiting = packs->ensure(u"de"_s);
    QThread::msleep(700);
    QFile::remove(lockPath(u"de"_s));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(waitFor(waiting), true);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(packRequests(), 1);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

TEST_F(LexiconDownloaderTest, LockErrorsOtherThanABusyLockFailAtOnce) {
    m_server.route(u"/packs/de.lex.gz"_s, pack());
    QElapsedTimer timer;
    timer.start();

    // The dictionary folder cannot exist: a file stands in its place.
    ASSERT_TRUE(test::writeFile(m_dir.filePath(u"blocked"_s), "a file"));
    Lexicon blocked(m_dir.filePath(u"blocked"_s));
    LexiconDownloader cannotLock(blocked, m_server.url(u"/packs"_s));
    EXPECT_EQ(waitFor(cannotLock.ensure(u"de"_s)), false);

    // A stale lock that cannot be removed (a folder with a file in it) ends the attempt.
    QDir().mkpath(lockPath(u"de"_s));
    ASSERT_TRUE(test::writeFile(lockPath(u"de"_s) + u"/file"_s, "x"));
    EXPECT_EQ(waitFor(downloader()->ensure(u"de"_s)), false);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(m_server.totalRequests(), 0);
    EXPECT_TRUE(QFileInfo(lockPath(u"de"_s)).isDir());
}

TEST_F(LexiconDownloaderTest, TheHolderKeepsItsLockYoungAndLeavesOtherLocksAlone) {
    m_server.route(u"/packs/de.lex.gz"_s, trickledPack(400));
    const auto packs = downloader();
    const QFuture<bool> download = packs->ensure(u"de"_s);
    // The lock is there a moment before what it says.
    EXPECT_TRUE(waitUntil([&] {
        return test::readFile(lockPath(u"de"_s)) == QByteArray::number(qint64(::getpid()));
    }));
    EXPECT_EQ(QFileInfo(lockPath(u"de"_s)).permissions() & 0x7777,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::ReadOther);

    // Made to look old, the lock is refreshed while data arrives.
    test::ageFile(lockPath(u"de"_s), 1000);
    EXPECT_TRUE(waitUntil([&] { return ageOf(lockPath(u"de"_s)) < 10; }, 3000));

    // Another process's lock in its place survives the end of the download.
    ASSERT_FALSE(download.isFinished());
    QFile::remove(lockPath(u"de"_s));
    ASSERT_TRUE(test::writeFile(lockPath(u"de"_s), "someone else"));
    EXPECT_EQ(waitFor(download), true);
    EXPECT_EQ(test::readFile(lockPath(u"de"_s)), "someone else"_ba);
}

TEST_F(LexiconDownloaderTest, LeavingDuringADownloadRemovesTheLockAndTheTemporaryFile) {
    Response stalled = pack(20000);
    m_server.route(u"/packs/de.lex.gz"_s, stalled);
    for (const QString& how : {u"return"_s, u"exit"_s}) {
        const auto result =
            test::runHelper(u"leaveDuringDownload"_s,
                            {m_server.url(u"/packs"_s).toString(), u"de"_s, folder(), how});
        EXPECT_EQ(result.exitCode, 0) << how.toStdString() << result.err.toStdString();
        EXPECT_EQ(result.out, "started"_ba) << how.toStdString();
        EXPECT_EQ(leftovers(folder()), QStringList()) << how.toStdString();
        EXPECT_FALSE(QFile::exists(packPath(u"de"_s)));
    }
}

TEST_F(LexiconDownloaderTest, InstalledPacksAreListedMeasuredAndRemoved) {
    const auto packs = downloader();
    for (const QString& code : {u"zh"_s, u"de"_s, u"en"_s})
        ASSERT_TRUE(test::writeFile(packPath(code), test::smallGermanPack()));
    ASSERT_TRUE(test::writeFile(packPath(u"zz"_s), test::smallGermanPack()));
    EXPECT_EQ(packs->installed(), (QStringList{u"de"_s, u"en"_s, u"zh"_s}));
    EXPECT_EQ(packs->size(u"de"_s), test::smallGermanPack().size());
    EXPECT_EQ(packs->size(u"zh-TW"_s), 0);
    EXPECT_EQ(packs->size(u"fr"_s), 0);
    EXPECT_EQ(packs->size(u"../Lexicon/de"_s), 0);

    ASSERT_TRUE(m_lexicon.pack(u"zh"_s));
    packs->remove(u"zh-TW"_s);
    EXPECT_FALSE(QFile::exists(packPath(u"zh"_s)));
    EXPECT_FALSE(m_lexicon.pack(u"zh"_s));
    packs->remove(u"fr"_s);
    packs->remove(u"../Lexicon/de"_s);
    EXPECT_EQ(packs->installed(), (QStringList{u"de"_s, u"en"_s}));
}

// The index beside the packs: read over HTTP by many callers at once and from a local folder;
// a missing or broken index, or no server, is not read; shutting down ends a fetch under way.
TEST_F(LexiconDownloaderTest, TheIndexTellsWhichPacksTheServerOffers) {
    test::HttpServer::Response index;
    index.body = R"({"packs": [{"lang": "ru"}, {"lang": "de"}, {"lang": "zz"}, {"lang": "de"}]})";
    m_server.route(u"/packs/index.json"_s, index);
    const auto packs = downloader();
    QList<QFuture<LexiconDownloader::Catalogue>> burst;
    for (int i = 0; i < 20; ++i)
        burst << packs->catalogue();
    for (const auto& future : std::as_const(burst)) {
        const auto catalogue = waitFor(future, 10000);
        ASSERT_TRUE(catalogue);
        EXPECT_TRUE(catalogue->read);
        EXPECT_EQ(catalogue->languages, (QStringList{u"de"_s, u"ru"_s}));
    }

    test::HttpServer::Response broken;
    broken.body = "[1, 2]";
    m_server.route(u"/broken/index.json"_s, broken);
    EXPECT_FALSE(waitFor(downloader(u"/broken"_s)->catalogue(), 10000).value().read);
    EXPECT_FALSE(waitFor(downloader(u"/missing/"_s)->catalogue(), 10000).value().read);
    EXPECT_FALSE(waitFor(LexiconDownloader(m_lexicon, std::nullopt).catalogue(), 1000)->read);

    QTemporaryDir served;
    test::writeFile(served.filePath(u"index.json"_s), R"({"packs": [{"lang": "fr"}]})");
    LexiconDownloader local(m_lexicon, QUrl::fromLocalFile(served.path() + u'/'));
    EXPECT_EQ(waitFor(local.catalogue(), 5000).value().languages, QStringList{u"fr"_s});

    test::HttpServer::Response slow = index;
    slow.delayMs = 20000;
    m_server.route(u"/slow/index.json"_s, slow);
    const auto stopping = downloader(u"/slow"_s);
    const QFuture<LexiconDownloader::Catalogue> pending = stopping->catalogue();
    QThread::msleep(100);
    stopping->shutDown();
    ASSERT_TRUE(waitUntil([&] { return pending.isFinished(); }));
    EXPECT_EQ(pending.resultCount(), 0);
}

// What a hostile or broken server may send for a pack: each is refused with its reason, leaves
// nothing behind and never takes more of the disk than a pack may.
TEST_F(LexiconDownloaderTest, APackThatFailsACheckIsRefusedWithItsReason) {
    constexpr qint64 cap = 256 * 1024;
    const QByteArray good = test::smallGermanPack();
    const QByteArray sha = QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex();
    const auto index = [](qint64 size, const QByteArray& sha256) -> QByteArray {
        return R"({"packs": [{"lang": "de", "file": "de.lex.gz", "size": )" +
               QByteArray::number(size) + R"(, "sha256": ")" + sha256 + R"("}]})";
    };
    // A gzip header, then stored blocks of no bytes that never end the stream.
    const QByteArray emptyBlocks = QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10) +
                                   QByteArray("\x00\x00\x00\xff\xff", 5).repeated(800000);
    const QByteArray largePlain = "#\n" + QByteArray("wa\t1\n").repeated(200000);

    struct Case {
        const char* what;
        QByteArray body;
        QByteArray index;
        Failure failure;
    };
    const QList<Case> cases{
        {"zeros after the pack", good + QByteArray(4 << 20, '\0'), {}, Failure::Damaged},
        {"endless empty deflate blocks", emptyBlocks, {}, Failure::TooLarge},
        {"a transfer over the cap", largePlain, {}, Failure::TooLarge},
        {"another checksum", good, index(good.size(), QByteArray(64, 'a')), Failure::NotAsListed},
        {"longer than listed", good, index(good.size() - 1, sha), Failure::NotAsListed},
        {"shorter than listed", good, index(good.size() + 1, sha), Failure::NotAsListed},
        {"as listed", good, index(good.size(), sha.toUpper()), Failure::None},
        {"listed without size or checksum", good, R"({"packs": [{"lang": "de"}]})", Failure::None},
    };
    PackLimits limits;
    limits.maxPackBytes = cap;
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const QString base = u"/case%1"_s.arg(i);
        Response body;
        body.body = c.body;
        body.sendLength = false;
        body.chunks = 64;
        body.chunkDelayMs = 10;
        m_server.route(base + u"/de.lex.gz"_s, body);
        if (!c.index.isEmpty())
            m_server.route(base + u"/index.json"_s, Response{200, c.index});
        QTemporaryDir dir;
        Lexicon lexicon(dir.filePath(u"Lexicon"_s));
        LexiconDownloader packs(lexicon, m_server.url(base), limits);
        const QFuture<bool> future = packs.ensure(u"de"_s);
        qint64 largest = 0;
        ASSERT_TRUE(waitUntil(
            [&] {
                qint64 used = 0;
                for (const QFileInfo& file :
                     QDir(lexicon.directory()).entryInfoList(QDir::Files | QDir::Hidden))
                    used += file.size();
                largest = std::max(largest, used);
                return future.isFinished();
            },
            30000))
            << "the download never ended";
        EXPECT_EQ(future.result(), c.failure == Failure::None);
        EXPECT_EQ(packs.failure(u"de"_s), c.failure);
        EXPECT_EQ(QFile::exists(lexicon.packPath(u"de"_s)), c.failure == Failure::None);
        EXPECT_EQ(leftovers(lexicon.directory()), QStringList());
        EXPECT_LE(largest, cap);
    }
}

// A server that sends a byte now and then holds neither the callers nor the lock past the
// deadline.
TEST_F(LexiconDownloaderTest, ATricklingServerFailsAtTheDeadlineAndFreesTheLock) {
    Response drip = pack();
    drip.chunks = int(drip.body.size());
    drip.chunkDelayMs = 2000;
    m_server.route(u"/packs/de.lex.gz"_s, drip);
    PackLimits limits;
    limits.deadlineMs = 1500;
    LexiconDownloader packs(m_lexicon, m_server.url(u"/packs"_s), limits);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(waitFor(packs.ensure(u"de"_s)), false);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(packs.failure(u"de"_s), Failure::TooSlow);
    EXPECT_EQ(packs.failure(u"fr"_s), Failure::None);
    EXPECT_EQ(leftovers(folder()), QStringList());
    EXPECT_FALSE(QFile::exists(packPath(u"de"_s)));
}

// An index past its limit is given up as it arrives, not once the server has sent it all, by
// the catalogue and by a download that reads it on its way.
TEST_F(LexiconDownloaderTest, AnIndexOverItsLimitIsGivenUpAsItArrives) {
    Response endless;
    endless.body = R"({"packs": [)" + QByteArray(2 << 20, ' ') + "]}";
    endless.sendLength = false;
    endless.chunks = 2;
    endless.chunkDelayMs = 60000;
    m_server.route(u"/packs/index.json"_s, endless);
    m_server.route(u"/packs/de.lex.gz"_s, pack());
    const auto packs = downloader();
    const auto catalogue = waitFor(packs->catalogue(), 20000);
    ASSERT_TRUE(catalogue) << "the catalogue never came";
    EXPECT_FALSE(catalogue->read);
    EXPECT_EQ(waitFor(packs->ensure(u"de"_s), 20000), true);
}

TEST_F(LexiconDownloaderTest, ShuttingDownCancelsRunningDownloads) {
    m_server.route(u"/packs/de.lex.gz"_s, pack(20000));
    auto packs = downloader();
    const QFuture<bool> running = packs->ensure(u"de"_s);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(lockPath(u"de"_s)); }));
    packs->shutDown();
    EXPECT_EQ(waitFor(running, 1000), false);
    EXPECT_EQ(waitFor(packs->ensure(u"fr"_s), 1000), false);
    EXPECT_EQ(leftovers(folder()), QStringList());
}

// The download threads of this process, by the name the downloader gives its thread.
int downloadThreads() {
    int count = 0;
    for (const QString& task :
         QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        count +=
            test::readFile(u"/proc/self/task/"_s + task + u"/comm"_s).startsWith("LexiconDownlo");
    return count;
}

TEST_F(LexiconDownloaderTest, AThreadStuckAtShutDownIsLeftToEndAlone) {
    // A pack that is a pipe nobody writes to: opening it blocks the download thread.
    const QString packs = m_dir.filePath(u"packs"_s);
    ASSERT_TRUE(QDir().mkpath(packs));
    const QString pipe = packs + u"/de.lex.gz"_s;
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const int before = downloadThreads();
    auto packsDownloader =
        std::make_unique<LexiconDownloader>(m_lexicon, QUrl::fromLocalFile(packs + u'/'));
    const QFuture<bool> future = packsDownloader->ensure(u"de"_s);
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(lockPath(u"de"_s)); }));

    QElapsedTimer timer;
    timer.start();
    packsDownloader.reset();
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_EQ(waitFor(future, 0), false);
    EXPECT_EQ(downloadThreads(), before + 1);

    // Once its read returns the thread ends by itself, and tells nobody who is gone.
    QFile writer(pipe);
    ASSERT_TRUE(writer.open(QIODevice::WriteOnly));
    writer.close();
    EXPECT_TRUE(waitUntil([&] { return downloadThreads() == before; }));
    EXPECT_EQ(leftovers(folder()), QStringList());
    // The thread object goes with the main thread's next turn.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Many callers on many threads ask for overlapping lists while packs land, fail and stall; every
// call ends, with the answer its own list deserves.
TEST_F(LexiconDownloaderTest, OverlappingEnsuresFromManyThreadsAllEnd) {
    m_server.route(u"/packs/de.lex.gz"_s, pack(300));
    m_server.route(u"/packs/es.lex.gz"_s, pack(1000));
    m_server.route(u"/packs/it.lex.gz"_s, trickledPack(100));
    Response truncated = pack(200);
    truncated.body.chop(12);
    m_server.route(u"/packs/pt.lex.gz"_s, truncated);
    // sv stalls until the end; fr is not on the server; nl's lock belongs to a live process
    // that finishes it later.
    m_server.route(u"/packs/sv.lex.gz"_s, pack(60000));
    ASSERT_TRUE(test::writeFile(lockPath(u"nl"_s), QByteArray::number(qint64(::getpid()))));
    const QSet<QString> good{u"de"_s, u"es"_s, u"it"_s, u"nl"_s};
    const QStringList codes{u"de"_s, u"es"_s, u"fr"_s, u"it"_s, u"nl"_s, u"pt"_s, u"sv"_s, u"xx"_s};
    const auto packs = downloader();

    struct Call {
        QStringList codes;
        QFuture<bool> future;
        bool single = false;
    };
    const auto calls = [&](int seed, int count) {
        std::vector<Call> made;
        for (int i = 0; i < count; ++i) {
            QStringList list;
            for (int j = 0; j <= (seed + i) % 3; ++j)
                list << codes[(seed * 7 + i * 3 + j * 5) % codes.size()];
            const bool single = i % 4 == 0;
            made.push_back(
                {list, single ? packs->ensure(list.first()) : packs->ensure(list), single});
            if (i % 10 == 0)
                QThread::msleep(50);
        }
        return made;
    };
    std::vector<std::vector<Call>> perThread(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 7; ++t)
        threads.emplace_back([&, t] { perThread[t] = calls(t, 60); });
    perThread[7] = calls(7, 60); // the main thread too
    QThread::msleep(1500);
    ASSERT_TRUE(test::writeFile(packPath(u"nl"_s), test::smallGermanPack()));
    for (std::thread& thread : threads)
        thread.join();

    // Codes without packs fail alone and are ignored in a list; the stalled pack ends only with
    // the downloader.
    const auto check = [&](bool stalled) {
        for (const std::vector<Call>& made : perThread) {
            for (const Call& call : made) {
                const QStringList asked = call.single ? call.codes.first(1) : call.codes;
                if (asked.contains(u"sv"_s) != stalled)
                    continue;
                bool expected = true;
                for (const QString& code : asked)
                    expected &= good.contains(code) || (code == u"xx"_s && !call.single);
                const auto result = waitFor(call.future);
                ASSERT_TRUE(result) << asked.join(u',').toStdString();
                EXPECT_EQ(*result, expected) << asked.join(u',').toStdString();
            }
        }
    };
    check(false);
    packs->shutDown();
    check(true);
    EXPECT_EQ(m_server.requests(u"/packs/de.lex.gz"_s), 1);
    EXPECT_EQ(m_server.requests(u"/packs/es.lex.gz"_s), 1);
    EXPECT_EQ(m_server.requests(u"/packs/nl.lex.gz"_s), 0);
    EXPECT_EQ(packs->installed(), (QStringList{u"de"_s, u"es"_s, u"it"_s, u"nl"_s}));
}
