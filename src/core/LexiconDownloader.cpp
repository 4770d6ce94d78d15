#include "core/LexiconDownloader.h"

#include "core/Languages.h"
#include "core/Paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPromise>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const FileId&, const FileId&) = default;
};

std::optional<FileId> idOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileId{status.st_dev, status.st_ino};
}

// Removes a file only while it is still the one we know: a lock another process created in
// its place is left alone. False when the file could not be removed.
bool removeIfSame(const QString& path, const FileId& id) {
    const auto current = idOf(path);
    if (!current || *current != id)
        return true;
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

// The downloaders alive in the process. Network access cannot end cleanly once the
// application object is gone, so they are shut down while it is destroyed.
QMutex& liveMutex() {
    static QMutex mutex;
    return mutex;
}

QSet<LexiconDownloader*>& live() {
    static QSet<LexiconDownloader*> downloaders;
    return downloaders;
}

void shutDownLive() {
    QSet<LexiconDownloader*> downloaders;
    {
        QMutexLocker locker(&liveMutex());
        downloaders = live();
    }
    for (LexiconDownloader* downloader : downloaders)
        downloader->shutDown();
}

// The lock files this process holds. A plain exit() in the middle of a download destroys
// nothing, and Qt may already be half gone when exit handlers run, so the handler removes them
// with system calls alone. Never destroyed, for the same reason.
class HeldLocks {
public:
    static HeldLocks& instance() {
        static HeldLocks* const locks = new HeldLocks;
        return *locks;
    }

    // Creates a lock file with this content and holds it, in one step under the list's lock, so
    // that an exit cannot come between and leave the file behind. 0, or the creation's error.
    int create(const QByteArray& path, const QByteArray& content, int* fd, FileId* id) {
        std::lock_guard guard(m_mutex);
        const int created = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (created < 0)
            return errno;
        ::fchmod(created, 0644);
        struct stat status {};
        if (::write(created, content.constData(), size_t(content.size())) != content.size() ||
            ::fstat(created, &status) != 0) {
            ::close(created);
            ::unlink(path.constData());
            return EIO;
        }
        *fd = created;
        *id = FileId{status.st_dev, status.st_ino};
        m_locks.push_back({path.toStdString(), *id});
        return 0;
    }

    void drop(const QByteArray& path) {
        std::lock_guard guard(m_mutex);
        std::erase_if(m_locks, [&](const Held& held) { return held.path == path.toStdString(); });
    }

    // Removes every held lock. A download thread holds the list only for an instant, so a
    // short bounded wait for it is enough; past that the stale rules clean up.
    void releaseAll() {
        std::unique_lock guard(m_mutex, std::defer_lock);
        for (int attempt = 0; attempt < 200 && !guard.try_lock(); ++attempt)
            ::usleep(1000);
        if (!guard.owns_lock())
            return;
        for (const Held& held : m_locks) {
            struct stat status {};
            if (::stat(held.path.c_str(), &status) == 0 && status.st_dev == held.id.device &&
                status.st_ino == held.id.inode)
                ::unlink(held.path.c_str());
        }
        m_locks.clear();
    }

private:
    struct Held {
        std::string path;
        FileId id;
    };

    HeldLocks() { std::atexit(&HeldLocks::releaseAtExit); }

    static void releaseAtExit() { instance().releaseAll(); }

    std::mutex m_mutex;
    std::vector<Held> m_locks;
};

// A decimal process id as a lock holds it; nothing for text that is no positive 32-bit number
// (0 and negative ids would address process groups).
std::optional<pid_t> processId(const QByteArray& content) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(utf8(content)).trimmed();
    if (utf8.hasError() || text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value <= 0 || value > INT_MAX)
        return std::nullopt;
    return pid_t(value);
}

constexpr qint64 localPieceBytes = 1 << 20;

// One download of one pack: take the lock or wait for its holder, fetch into a temporary file
// in the dictionary folder while checking the body, then move it over the pack. Lives on the
// downloader's thread.
class Download : public QObject {
public:
    Download(const QString& code, const QString& directory, const QUrl& base, Lexicon& lexicon,
             QNetworkAccessManager& network, std::function<void(bool)> done, QObject* parent)
        : QObject(parent)
        , m_code(code)
        , m_directory(directory)
        , m_pack(directory + u'/' + Lexicon::fileName(code))
        , m_lockPath(m_pack + u".lock"_s)
        , m_base(base)
        , m_lexicon(lexicon)
        , m_network(network)
        , m_done(std::move(done)) {
        m_poller.setInterval(LexiconDownloader::pollMilliseconds);
        connect(&m_poller, &QTimer::timeout, this, [this] { poll(); });
    }

    ~Download() override { finish(false); }

    void start() {
        QDir().mkpath(m_directory);
        switch (takeLock()) {
        case Lock::Taken:
            hold();
            break;
        case Lock::Busy:
            // Started first, so that a takeover in the first poll stops it like any other.
            m_poller.start();
            poll();
            break;
        case Lock::Failed:
            finish(false);
            break;
        }
    }

    void cancel() { finish(false); }

private:
    enum class Lock { Taken, Busy, Failed };

    Lock takeLock() {
        const int error = HeldLocks::instance().create(QFile::encodeName(m_lockPath),
                                                       QByteArray::number(qint64(::getpid())),
                                                       &m_lockFd, &m_lockId);
        if (error != 0)
            return error == EEXIST ? Lock::Busy : Lock::Failed;
        m_refreshed.start();
        return Lock::Taken;
    }

    // With the lock: another process may have finished the pack meanwhile.
    void hold() {
        if (m_lexicon.isInstalled(m_code))
            finish(true);
        else
            fetch();
    }

    // A live holder keeps its lock young, so that waiters never take it for stale.
    void refreshLock() {
        if (m_lockFd >= 0 && m_refreshed.elapsed() >= 1000) {
            ::futimens(m_lockFd, nullptr);
            m_refreshed.restart();
        }
    }

    void releaseLock() {
        if (m_lockFd < 0)
            return;
        removeIfSame(m_lockPath, m_lockId);
        ::close(m_lockFd);
        m_lockFd = -1;
        HeldLocks::instance().drop(QFile::encodeName(m_lockPath));
    }

    void poll() {
        if (QFileInfo::exists(m_pack)) {
            finish(true);
            return;
        }
        const auto holder = idOf(m_lockPath);
        if (holder && LexiconDownloader::isStale(m_lockPath) &&
            !removeIfSame(m_lockPath, *holder)) {
            finish(false);
            return;
        }
        // The holder gave up without a pack, or its stale lock is gone: take over.
        if (!holder || !QFileInfo::exists(m_lockPath)) {
            switch (takeLock()) {
            case Lock::Taken:
                m_poller.stop();
                hold();
                return;
            case Lock::Failed:
                finish(false);
                return;
            case Lock::Busy:
                break;
            }
        }
        if (++m_polls >= LexiconDownloader::maxPolls)
            finish(m_lexicon.isInstalled(m_code));
    }

    QUrl packURL() const {
        QUrl url = m_base;
        QString path = url.path();
        if (!path.endsWith(u'/'))
            path += u'/';
        url.setPath(path + Lexicon::fileName(m_code));
        return url;
    }

    void fetch() {
        m_temporary = std::make_unique<QTemporaryFile>(m_directory + u"/."_s +
                                                       Lexicon::fileName(m_code) + u".XXXXXX"_s);
        if (!m_temporary->open()) {
            finish(false);
            return;
        }
        if (m_base.isLocalFile()) {
            copyLocal();
            return;
        }
        QNetworkRequest request(packURL());
        request.setTransferTimeout(LexiconDownloader::transferTimeoutMilliseconds);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        m_reply = m_network.get(request);
        connect(m_reply, &QNetworkReply::readyRead, this, [this] { receive(); });
        connect(m_reply, &QNetworkReply::finished, this, [this] { fetched(); });
    }

    // Status 200 of an HTTP answer; Qt's file and data access report a status of their own.
    bool isSuccess() const {
        const QString scheme = m_reply->url().scheme();
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        return (scheme == "http"_L1 || scheme == "https"_L1) && status.isValid() &&
               status.toInt() == 200;
    }

    // A pack in a local folder is a download that has already arrived: it takes the same
    // checks and the same move into place, a piece per turn of the thread's event loop so that
    // the other downloads go on meanwhile.
    void copyLocal() {
        m_source = std::make_unique<QFile>(packURL().toLocalFile());
        if (!m_source->open(QIODevice::ReadOnly)) {
            finish(false);
            return;
        }
        copyPiece();
    }

    void copyPiece() {
        const QByteArray chunk = m_source->read(localPieceBytes);
        if (chunk.isEmpty()) {
            if (m_source->atEnd())
                install();
            else
                finish(false);
            return;
        }
        if (accept(chunk))
            QTimer::singleShot(0, this, [this] { copyPiece(); });
    }

    bool accept(const QByteArray& chunk) {
        refreshLock();
        if (m_temporary->write(chunk) != chunk.size() || !m_validator.add(chunk)) {
            finish(false);
            return false;
        }
        return true;
    }

    void receive() {
        const QByteArray chunk = m_reply->readAll();
        if (!chunk.isEmpty() && isSuccess())
            accept(chunk);
    }

    void fetched() {
        receive();
        if (m_finished)
            return;
        if (m_reply->error() != QNetworkReply::NoError || !isSuccess()) {
            finish(false);
            return;
        }
        install();
    }

    void install() {
        if (!m_validator.finish() || !m_temporary->flush() || ::fsync(m_temporary->handle()) != 0) {
            finish(false);
            return;
        }
        // The pack is replaced in one step and is on the disk before its name is.
        const QString path = m_temporary->fileName();
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(m_pack).constData()) !=
            0) {
            finish(false);
            return;
        }
        m_temporary->setAutoRemove(false);
        m_temporary.reset();
        const int folder = ::open(QFile::encodeName(m_directory).constData(), O_RDONLY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        finish(true);
    }

    void finish(bool installed) {
        if (m_finished)
            return;
        m_finished = true;
        m_poller.stop();
        if (m_reply) {
            m_reply->disconnect(this);
            m_reply->abort();
            m_reply->deleteLater();
        }
        m_temporary.reset();
        m_source.reset();
        releaseLock();
        const auto done = std::move(m_done);
        deleteLater();
        if (done)
            done(installed);
    }

    const QString m_code;
    const QString m_directory;
    const QString m_pack;
    const QString m_lockPath;
    const QUrl m_base;
    Lexicon& m_lexicon;
    QNetworkAccessManager& m_network;
    std::function<void(bool)> m_done;
    QTimer m_poller;
    int m_polls = 0;
    int m_lockFd = -1;
    FileId m_lockId;
    QElapsedTimer m_refreshed;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QTemporaryFile> m_temporary;
    std::unique_ptr<QFile> m_source;
    LexiconPack::Validator m_validator;
    bool m_finished = false;
};

} // namespace

// The downloader's side of its thread: the network access and the running downloads.
class LexiconDownloadWorker : public QObject {
public:
    void start(const QString& code, const QString& directory, const QUrl& base, Lexicon& lexicon,
               std::function<void(bool)> done) {
        if (!m_network)
            m_network = std::make_unique<QNetworkAccessManager>();
        auto* download =
            new Download(code, directory, base, lexicon, *m_network, std::move(done), this);
        download->start();
    }

    void stop() {
        QList<Download*> downloads;
        for (QObject* child : children()) {
            if (auto* download = dynamic_cast<Download*>(child))
                downloads << download;
        }
        for (Download* download : downloads)
            download->cancel();
        qDeleteAll(downloads);
        m_network.reset();
    }

private:
    std::unique_ptr<QNetworkAccessManager> m_network;
};

LexiconDownloader::LexiconDownloader(Lexicon& lexicon, std::optional<QUrl> baseURL)
    : m_lexicon(lexicon)
    , m_base(std::move(baseURL))
    , m_worker(new LexiconDownloadWorker) {
    m_thread.setObjectName(u"LexiconDownloader"_s);
    m_worker->moveToThread(&m_thread);
    // The thread's last act, on the thread itself: end the downloads, then the worker.
    QObject::connect(
        &m_thread, &QThread::finished, m_worker, [worker = m_worker] { worker->stop(); },
        Qt::DirectConnection);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
    QMutexLocker locker(&liveMutex());
    if (live().isEmpty())
        qAddPostRoutine(shutDownLive);
    live().insert(this);
}

LexiconDownloader::~LexiconDownloader() {
    shutDown();
    QMutexLocker locker(&liveMutex());
    live().remove(this);
}

// Never destroyed: it shuts down with the application object (see shutDownLive).
LexiconDownloader& LexiconDownloader::shared() {
    static LexiconDownloader* const downloader = new LexiconDownloader(
        Lexicon::shared(), baseURL(Paths::bundleString(u"TivelaLexiconURL"_s)));
    return *downloader;
}

std::optional<QUrl> LexiconDownloader::baseURL(const QString& text) {
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

// One call of ensure: how many of its packs are still on the way, and whether all so far landed.
struct LexiconDownloader::Waiter {
    qsizetype left = 0;
    bool installed = true;
    Done done;
};

void LexiconDownloader::shutDown() {
    {
        std::lock_guard guard(m_mutex);
        if (m_stopped)
            return;
        m_stopped = true;
    }
    // Ending downloads tell their waiters on the thread, so the lock must be free meanwhile.
    m_thread.quit();
    if (!m_thread.wait(QDeadlineTimer(10000))) {
        m_thread.terminate();
        m_thread.wait();
    }
    // Packs asked for but never started on the thread.
    QStringList unstarted;
    {
        std::lock_guard guard(m_mutex);
        unstarted = m_waiting.keys();
    }
    for (const QString& pack : std::as_const(unstarted))
        landed(pack, false);
}

void LexiconDownloader::landed(const QString& pack, bool installed) {
    QList<std::shared_ptr<Waiter>> done;
    {
        std::lock_guard guard(m_mutex);
        for (const std::shared_ptr<Waiter>& waiter : m_waiting.take(pack)) {
            waiter->installed = waiter->installed && installed;
            if (--waiter->left == 0)
                done << waiter;
        }
    }
    for (const std::shared_ptr<Waiter>& waiter : std::as_const(done))
        waiter->done(waiter->installed);
}

void LexiconDownloader::ensure(const QStringList& codes, Done done) {
    bool installed = true;
    QStringList missing;
    for (const QString& code : codes) {
        const QString pack = Languages::lexiconCode(code);
        if (!Languages::lexicon().contains(pack) || missing.contains(pack) ||
            m_lexicon.isInstalled(pack))
            continue;
        if (m_base)
            missing << pack;
        else
            installed = false;
    }
    if (missing.isEmpty()) {
        done(installed);
        return;
    }
    auto waiter = std::make_shared<Waiter>(Waiter{missing.size(), installed, std::move(done)});
    {
        std::lock_guard guard(m_mutex);
        if (!m_stopped) {
            for (const QString& pack : std::as_const(missing)) {
                QList<std::shared_ptr<Waiter>>& waiters = m_waiting[pack];
                waiters << waiter;
                // The first waiter of a pack starts its fetch; posted under the lock, so that
                // a shut-down cannot come between and leave the thread gone.
                if (waiters.size() == 1)
                    QMetaObject::invokeMethod(
                        m_worker,
                        [this, pack, directory = m_lexicon.directory(), base = *m_base] {
                            m_worker->start(pack, directory, base, m_lexicon,
                                            [this, pack](bool ok) { landed(pack, ok); });
                        },
                        Qt::QueuedConnection);
            }
            return;
        }
    }
    waiter->done(false);
}

QFuture<bool> LexiconDownloader::ensure(const QStringList& codes) {
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    ensure(codes, [promise](bool installed) {
        promise->addResult(installed);
        promise->finish();
    });
    return promise->future();
}

QFuture<bool> LexiconDownloader::ensure(const QString& code) {
    if (!Languages::lexicon().contains(Languages::lexiconCode(code)))
        return QtFuture::makeReadyFuture(false);
    return ensure(QStringList{code});
}

void LexiconDownloader::remove(const QString& code) {
    const QString pack = Languages::lexiconCode(code);
    m_lexicon.unload(pack);
    const QString path = m_lexicon.url(pack);
    if (!path.isEmpty())
        QFile::remove(path);
}

QStringList LexiconDownloader::installed() const {
    QStringList codes;
    for (const QString& code : Languages::lexicon()) {
        if (m_lexicon.isInstalled(code))
            codes << code;
    }
    codes.sort();
    return codes;
}

qint64 LexiconDownloader::size(const QString& code) const {
    const QString path = m_lexicon.url(code);
    return path.isEmpty() ? 0 : QFileInfo(path).size();
}

QStringList LexiconDownloader::packs(const QString& from, const QString& to) {
    QStringList codes;
    for (const QString& code :
         {u"en"_s, Languages::lexiconCode(from), Languages::lexiconCode(to)}) {
        if (Languages::lexicon().contains(code) && !codes.contains(code))
            codes << code;
    }
    codes.sort();
    return codes;
}

void LexiconDownloader::releaseHeldLocks() {
    HeldLocks::instance().releaseAll();
}

bool LexiconDownloader::isStale(const QString& lockPath) {
    struct stat status {};
    const QByteArray path = QFile::encodeName(lockPath);
    if (::stat(path.constData(), &status) != 0)
        return false;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec - status.st_mtim.tv_sec > staleSeconds)
        return true;
    QFile file(lockPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const auto pid = processId(file.read(64));
    return pid && ::kill(*pid, 0) != 0 && errno == ESRCH;
}

} // namespace tivela
