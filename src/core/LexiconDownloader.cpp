#include "core/LexiconDownloader.h"

#include "core/Languages.h"
#include "core/Paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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

    void hold(const QByteArray& path, const FileId& id) {
        std::lock_guard guard(mutex_);
        locks_.push_back({path.toStdString(), id});
    }

    void drop(const QByteArray& path) {
        std::lock_guard guard(mutex_);
        std::erase_if(locks_, [&](const Held& held) { return held.path == path.toStdString(); });
    }

    // Removes every held lock. A download thread holds the list only for an instant, so a
    // short bounded wait for it is enough; past that the stale rules clean up.
    void releaseAll() {
        std::unique_lock guard(mutex_, std::defer_lock);
        for (int attempt = 0; attempt < 200 && !guard.try_lock(); ++attempt)
            ::usleep(1000);
        if (!guard.owns_lock())
            return;
        for (const Held& held : locks_) {
            struct stat status {};
            if (::stat(held.path.c_str(), &status) == 0 && status.st_dev == held.id.device &&
                status.st_ino == held.id.inode)
                ::unlink(held.path.c_str());
        }
        locks_.clear();
    }

private:
    struct Held {
        std::string path;
        FileId id;
    };

    HeldLocks() { std::atexit(&HeldLocks::releaseAtExit); }

    static void releaseAtExit() { instance().releaseAll(); }

    std::mutex mutex_;
    std::vector<Held> locks_;
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

// One download of one pack: take the lock or wait for its holder, fetch into a temporary file
// in the dictionary folder while checking the body, then move it over the pack. Lives on the
// downloader's thread.
class Download : public QObject {
public:
    Download(const QString& code, const QString& directory, const QUrl& base, Lexicon& lexicon,
             QNetworkAccessManager& network, std::function<void(bool)> done, QObject* parent)
        : QObject(parent)
        , code_(code)
        , directory_(directory)
        , pack_(directory + u'/' + Lexicon::fileName(code))
        , lockPath_(pack_ + u".lock"_s)
        , base_(base)
        , lexicon_(lexicon)
        , network_(network)
        , done_(std::move(done)) {
        poller_.setInterval(LexiconDownloader::pollMilliseconds);
        connect(&poller_, &QTimer::timeout, this, [this] { poll(); });
    }

    ~Download() override { finish(false); }

    void start() {
        QDir().mkpath(directory_);
        switch (takeLock()) {
        case Lock::Taken:
            hold();
            break;
        case Lock::Busy:
            // Started first, so that a takeover in the first poll stops it like any other.
            poller_.start();
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
        const QByteArray path = QFile::encodeName(lockPath_);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno == EEXIST ? Lock::Busy : Lock::Failed;
        ::fchmod(fd, 0644);
        const QByteArray pid = QByteArray::number(qint64(::getpid()));
        struct stat status {};
        if (::write(fd, pid.constData(), size_t(pid.size())) != pid.size() ||
            ::fstat(fd, &status) != 0) {
            ::close(fd);
            ::unlink(path.constData());
            return Lock::Failed;
        }
        lockFd_ = fd;
        lockId_ = FileId{status.st_dev, status.st_ino};
        HeldLocks::instance().hold(path, lockId_);
        refreshed_.start();
        return Lock::Taken;
    }

    // With the lock: another process may have finished the pack meanwhile.
    void hold() {
        if (lexicon_.isInstalled(code_))
            finish(true);
        else
            fetch();
    }

    // A live holder keeps its lock young, so that waiters never take it for stale.
    void refreshLock() {
        if (lockFd_ >= 0 && refreshed_.elapsed() >= 1000) {
            ::futimens(lockFd_, nullptr);
            refreshed_.restart();
        }
    }

    void releaseLock() {
        if (lockFd_ < 0)
            return;
        removeIfSame(lockPath_, lockId_);
        ::close(lockFd_);
        lockFd_ = -1;
        HeldLocks::instance().drop(QFile::encodeName(lockPath_));
    }

    void poll() {
        if (QFileInfo::exists(pack_)) {
            finish(true);
            return;
        }
        const auto holder = idOf(lockPath_);
        if (holder && LexiconDownloader::isStale(lockPath_) && !removeIfSame(lockPath_, *holder)) {
            finish(false);
            return;
        }
        // The holder gave up without a pack, or its stale lock is gone: take over.
        if (!holder || !QFileInfo::exists(lockPath_)) {
            switch (takeLock()) {
            case Lock::Taken:
                poller_.stop();
                hold();
                return;
            case Lock::Failed:
                finish(false);
                return;
            case Lock::Busy:
                break;
            }
        }
        if (++polls_ >= LexiconDownloader::maxPolls)
            finish(lexicon_.isInstalled(code_));
    }

    QUrl packURL() const {
        QUrl url = base_;
        QString path = url.path();
        if (!path.endsWith(u'/'))
            path += u'/';
        url.setPath(path + Lexicon::fileName(code_));
        return url;
    }

    void fetch() {
        temporary_ = std::make_unique<QTemporaryFile>(directory_ + u"/."_s +
                                                      Lexicon::fileName(code_) + u".XXXXXX"_s);
        if (!temporary_->open()) {
            finish(false);
            return;
        }
        QNetworkRequest request(packURL());
        request.setTransferTimeout(LexiconDownloader::transferTimeoutMilliseconds);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        reply_ = network_.get(request);
        connect(reply_, &QNetworkReply::readyRead, this, [this] { receive(); });
        connect(reply_, &QNetworkReply::finished, this, [this] { fetched(); });
    }

    // Status 200 of an HTTP answer; Qt's file and data access report a status of their own.
    bool isSuccess() const {
        const QString scheme = reply_->url().scheme();
        const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        return (scheme == "http"_L1 || scheme == "https"_L1) && status.isValid() &&
               status.toInt() == 200;
    }

    void receive() {
        const QByteArray chunk = reply_->readAll();
        if (chunk.isEmpty() || !isSuccess())
            return;
        refreshLock();
        if (temporary_->write(chunk) != chunk.size() || !validator_.add(chunk))
            finish(false);
    }

    void fetched() {
        receive();
        if (finished_)
            return;
        if (reply_->error() != QNetworkReply::NoError || !isSuccess() || !validator_.finish() ||
            !temporary_->flush() || ::fsync(temporary_->handle()) != 0) {
            finish(false);
            return;
        }
        // The pack is replaced in one step and is on the disk before its name is.
        const QString path = temporary_->fileName();
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(pack_).constData()) !=
            0) {
            finish(false);
            return;
        }
        temporary_->setAutoRemove(false);
        temporary_.reset();
        const int folder = ::open(QFile::encodeName(directory_).constData(), O_RDONLY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        finish(true);
    }

    void finish(bool installed) {
        if (finished_)
            return;
        finished_ = true;
        poller_.stop();
        if (reply_) {
            reply_->disconnect(this);
            reply_->abort();
            reply_->deleteLater();
        }
        temporary_.reset();
        releaseLock();
        const auto done = std::move(done_);
        deleteLater();
        if (done)
            done(installed);
    }

    const QString code_;
    const QString directory_;
    const QString pack_;
    const QString lockPath_;
    const QUrl base_;
    Lexicon& lexicon_;
    QNetworkAccessManager& network_;
    std::function<void(bool)> done_;
    QTimer poller_;
    int polls_ = 0;
    int lockFd_ = -1;
    FileId lockId_;
    QElapsedTimer refreshed_;
    QPointer<QNetworkReply> reply_;
    std::unique_ptr<QTemporaryFile> temporary_;
    LexiconPack::Validator validator_;
    bool finished_ = false;
};

} // namespace

// The downloader's side of its thread: the network access and the running downloads.
class LexiconDownloadWorker : public QObject {
public:
    void start(const QString& code, const QString& directory, const QUrl& base, Lexicon& lexicon,
               std::function<void(bool)> done) {
        if (!network_)
            network_ = std::make_unique<QNetworkAccessManager>();
        auto* download =
            new Download(code, directory, base, lexicon, *network_, std::move(done), this);
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
        network_.reset();
    }

private:
    std::unique_ptr<QNetworkAccessManager> network_;
};

LexiconDownloader::LexiconDownloader(Lexicon& lexicon, std::optional<QUrl> baseURL)
    : lexicon_(lexicon)
    , base_(std::move(baseURL))
    , worker_(new LexiconDownloadWorker) {
    thread_.setObjectName(u"LexiconDownloader"_s);
    worker_->moveToThread(&thread_);
    // The thread's last act, on the thread itself: end the downloads, then the worker.
    QObject::connect(
        &thread_, &QThread::finished, worker_, [worker = worker_] { worker->stop(); },
        Qt::DirectConnection);
    QObject::connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
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

void LexiconDownloader::shutDown() {
    {
        QMutexLocker locker(&mutex_);
        if (stopped_)
            return;
        stopped_ = true;
    }
    thread_.quit();
    if (!thread_.wait(QDeadlineTimer(10000))) {
        thread_.terminate();
        thread_.wait();
    }
    // Downloads asked for but never started on the thread.
    QMutexLocker locker(&mutex_);
    for (const auto& promise : std::as_const(inFlight_)) {
        promise->addResult(false);
        promise->finish();
    }
    inFlight_.clear();
}

QFuture<bool> LexiconDownloader::ensure(const QString& code) {
    const QString pack = Languages::lexiconCode(code);
    if (!Languages::lexicon().contains(pack))
        return QtFuture::makeReadyFuture(false);
    if (lexicon_.isInstalled(pack))
        return QtFuture::makeReadyFuture(true);
    if (!base_)
        return QtFuture::makeReadyFuture(false);

    QMutexLocker locker(&mutex_);
    if (const auto running = inFlight_.constFind(pack); running != inFlight_.constEnd())
        return (*running)->future();
    if (stopped_)
        return QtFuture::makeReadyFuture(false);
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    inFlight_.insert(pack, promise);
    auto done = [this, pack, promise](bool installed) {
        {
            QMutexLocker locker(&mutex_);
            inFlight_.remove(pack);
        }
        promise->addResult(installed);
        promise->finish();
    };
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, pack, directory = lexicon_.directory(), base = *base_,
         &lexicon = lexicon_, done] { worker->start(pack, directory, base, lexicon, done); },
        Qt::QueuedConnection);
    return promise->future();
}

QFuture<bool> LexiconDownloader::ensure(const QStringList& codes) {
    QList<QFuture<bool>> futures;
    QSet<QString> seen;
    for (const QString& code : codes) {
        const QString pack = Languages::lexiconCode(code);
        if (!Languages::lexicon().contains(pack) || seen.contains(pack))
            continue;
        seen.insert(pack);
        futures << ensure(pack);
    }
    if (futures.isEmpty())
        return QtFuture::makeReadyFuture(true);
    return QtFuture::whenAll(futures.begin(), futures.end())
        .then([](const QList<QFuture<bool>>& done) {
            return std::all_of(done.begin(), done.end(),
                               [](const QFuture<bool>& future) { return future.result(); });
        });
}

void LexiconDownloader::remove(const QString& code) {
    const QString pack = Languages::lexiconCode(code);
    lexicon_.unload(pack);
    const QString path = lexicon_.url(pack);
    if (!path.isEmpty())
        QFile::remove(path);
}

QStringList LexiconDownloader::installed() const {
    QStringList codes;
    for (const QString& code : Languages::lexicon()) {
        if (lexicon_.isInstalled(code))
            codes << code;
    }
    codes.sort();
    return codes;
}

qint64 LexiconDownloader::size(const QString& code) const {
    const QString path = lexicon_.url(code);
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
