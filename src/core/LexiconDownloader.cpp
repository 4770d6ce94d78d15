#include "core/LexiconDownloader.h"

#include "core/Languages.h"
#include "core/PackLock.h"
#include "core/Paths.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

constexpr qint64 localPieceBytes = 1 << 20;
// An index lists a few dozen packs.
constexpr qint64 maxIndexBytes = 1 << 20;

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
        , m_base(base)
        , m_lexicon(lexicon)
        , m_network(network)
        , m_done(std::move(done))
        , m_lock(m_pack + u".lock"_s) {
        m_poller.setInterval(LexiconDownloader::pollMilliseconds);
        connect(&m_poller, &QTimer::timeout, this, [this] { poll(); });
    }

    ~Download() override { finish(false); }

    void start() {
        QDir().mkpath(m_directory);
        switch (m_lock.take()) {
        case PackLock::Result::Taken:
            hold();
            break;
        case PackLock::Result::Busy:
            // Started first, so that a takeover in the first poll stops it like any other.
            m_poller.start();
            poll();
            break;
        case PackLock::Result::Failed:
            finish(false);
            break;
        }
    }

    void cancel() { finish(false); }

private:
    // With the lock: another process may have finished the pack meanwhile.
    void hold() {
        if (m_lexicon.isInstalled(m_code))
            finish(true);
        else
            fetch();
    }

    void poll() {
        if (QFileInfo::exists(m_pack)) {
            finish(true);
            return;
        }
        switch (m_lock.takeOver()) {
        case PackLock::Result::Taken:
            m_poller.stop();
            hold();
            return;
        case PackLock::Result::Failed:
            finish(false);
            return;
        case PackLock::Result::Busy:
            break;
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
        // A live holder keeps its lock young, so that waiters never take it for stale.
        m_lock.refresh();
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
        m_lock.release();
        const auto done = std::move(m_done);
        deleteLater();
        if (done)
            done(installed);
    }

    const QString m_code;
    const QString m_directory;
    const QString m_pack;
    const QUrl m_base;
    Lexicon& m_lexicon;
    QNetworkAccessManager& m_network;
    std::function<void(bool)> m_done;
    QTimer m_poller;
    int m_polls = 0;
    PackLock m_lock;
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
    using Catalogue = QPromise<LexiconDownloader::Catalogue>;

    // The index is small: a local one is read at once, a remote one with the bounded wait of
    // every transfer. A promise left unfinished at shut-down is cancelled as it goes.
    void fetchIndex(const QUrl& url, std::shared_ptr<Catalogue> promise) {
        const auto answer = [promise](LexiconDownloader::Catalogue catalogue) {
            promise->addResult(std::move(catalogue));
            promise->finish();
        };
        if (url.isLocalFile()) {
            QFile file(url.toLocalFile());
            answer(file.open(QIODevice::ReadOnly) && file.size() <= maxIndexBytes
                       ? LexiconDownloader::parseIndex(file.readAll())
                       : LexiconDownloader::Catalogue{});
            return;
        }
        if (!m_network)
            m_network = std::make_unique<QNetworkAccessManager>();
        QNetworkRequest request(url);
        request.setTransferTimeout(LexiconDownloader::transferTimeoutMilliseconds);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        QNetworkReply* reply = m_network->get(request);
        connect(reply, &QNetworkReply::finished, this, [reply, answer] {
            reply->deleteLater();
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            const bool ok = reply->error() == QNetworkReply::NoError && status.isValid() &&
                            status.toInt() == 200;
            answer(ok ? LexiconDownloader::parseIndex(reply->read(maxIndexBytes))
                      : LexiconDownloader::Catalogue{});
        });
    }

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
    , m_waiting(std::make_shared<Waiting>())
    , m_thread(std::make_unique<QThread>())
    , m_worker(new LexiconDownloadWorker) {
    m_thread->setObjectName(u"LexiconDownloader"_s);
    m_worker->moveToThread(m_thread.get());
    // The thread's last act, on the thread itself: end the downloads, then the worker.
    QObject::connect(
        m_thread.get(), &QThread::finished, m_worker, [worker = m_worker] { worker->stop(); },
        Qt::DirectConnection);
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
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
        std::lock_guard guard(m_waiting->mutex);
        if (m_waiting->stopped)
            return;
        m_waiting->stopped = true;
    }
    // Ending downloads abort their replies and tell their waiters on the thread, so the lock
    // must be free meanwhile.
    m_thread->quit();
    if (!m_thread->wait(QDeadlineTimer(10000))) {
        // A download stuck in a system call is left to finish it: a thread killed in the middle
        // of a write can leave a file or the C library's state half changed. What it may still
        // touch is shared, and the thread object goes once the thread has ended.
        qWarning("The dictionary download thread did not end in time; it is left to end alone.");
        QThread* const left = m_thread.release();
        QObject::connect(left, &QThread::finished, left, &QObject::deleteLater);
    }
    // Packs asked for but never ended on the thread.
    QStringList unended;
    {
        std::lock_guard guard(m_waiting->mutex);
        unended = m_waiting->lists.keys();
    }
    for (const QString& pack : std::as_const(unended))
        m_waiting->landed(pack, false);
}

void LexiconDownloader::Waiting::landed(const QString& pack, bool installed) {
    QList<std::shared_ptr<Waiter>> done;
    {
        std::lock_guard guard(mutex);
        for (const std::shared_ptr<Waiter>& waiter : lists.take(pack)) {
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
        std::lock_guard guard(m_waiting->mutex);
        if (!m_waiting->stopped) {
            for (const QString& pack : std::as_const(missing)) {
                QList<std::shared_ptr<Waiter>>& waiters = m_waiting->lists[pack];
                waiters << waiter;
                // The first waiter of a pack starts its fetch; posted under the lock, so that
                // a shut-down cannot come between and leave the thread gone.
                if (waiters.size() == 1)
                    QMetaObject::invokeMethod(
                        m_worker,
                        [this, pack, directory = m_lexicon.directory(), base = *m_base] {
                            m_worker->start(pack, directory, base, m_lexicon,
                                            [waiting = m_waiting, pack](bool ok) {
                                                waiting->landed(pack, ok);
                                            });
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

QFuture<LexiconDownloader::Catalogue> LexiconDownloader::catalogue() {
    auto promise = std::make_shared<LexiconDownloadWorker::Catalogue>();
    promise->start();
    QFuture<Catalogue> future = promise->future();
    if (!m_base) {
        promise->addResult(Catalogue{});
        promise->finish();
        return future;
    }
    QUrl url = *m_base;
    QString path = url.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    url.setPath(path + indexFileName);
    QMetaObject::invokeMethod(m_worker, [worker = m_worker, url, promise]() mutable {
        worker->fetchIndex(url, std::move(promise));
    });
    return future;
}

LexiconDownloader::Catalogue LexiconDownloader::parseIndex(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        !document.object().value(u"packs"_s).isArray())
        return {};
    Catalogue catalogue{true, {}};
    for (const QJsonValue& pack : document.object().value(u"packs"_s).toArray()) {
        const QString lang = pack.toObject().value(u"lang"_s).toString();
        if (Languages::lexicon().contains(lang) && !catalogue.languages.contains(lang))
            catalogue.languages << lang;
    }
    catalogue.languages.sort();
    return catalogue;
}

QFuture<bool> LexiconDownloader::ensure(const QString& code) {
    if (!Languages::lexicon().contains(Languages::lexiconCode(code)))
        return QtFuture::makeReadyFuture(false);
    return ensure(QStringList{code});
}

void LexiconDownloader::remove(const QString& code) {
    const QString pack = Languages::lexiconCode(code);
    m_lexicon.unload(pack);
    const QString path = m_lexicon.packPath(pack);
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
    const QString path = m_lexicon.packPath(code);
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
    PackLock::releaseHeld();
}

} // namespace tivela
