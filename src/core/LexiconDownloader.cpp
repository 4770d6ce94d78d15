#include "core/LexiconDownloader.h"

#include "core/Languages.h"
#include "core/PackLock.h"
#include "core/Paths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
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
#include <cmath>
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

using Failure = LexiconDownloader::Failure;

QUrl besideBase(const QUrl& base, const QString& name) {
    QUrl url = base;
    QString path = url.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    url.setPath(path + name);
    return url;
}

QNetworkRequest request(const QUrl& url, int silenceMs) {
    QNetworkRequest request(url);
    request.setTransferTimeout(silenceMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    return request;
}

// Status 200 of an HTTP answer; Qt's file and data access report a status of their own.
bool isSuccess(const QNetworkReply& reply) {
    const QString scheme = reply.url().scheme();
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return (scheme == "http"_L1 || scheme == "https"_L1) && status.isValid() &&
           status.toInt() == 200;
}

// One GET of a small file, read as it arrives: done gets the body of a 200 answer, or nothing
// for any other answer and for a body over maxBytes, where the transfer ends. Told once, on the
// context's thread, unless the reply or the context goes first.
QNetworkReply* fetchSmall(QNetworkAccessManager& network, const QUrl& url, int silenceMs,
                          qint64 maxBytes, QObject* context,
                          std::function<void(std::optional<QByteArray>)> done) {
    QNetworkReply* reply = network.get(request(url, silenceMs));
    auto body = std::make_shared<QByteArray>();
    const auto take = [reply, body, maxBytes] {
        // read(n) reserves n bytes up front: ask for no more than is there.
        body->append(reply->read(std::min(reply->bytesAvailable(), maxBytes + 1 - body->size())));
        return body->size() <= maxBytes;
    };
    QObject::connect(reply, &QNetworkReply::readyRead, context, [reply, take] {
        if (!take())
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, body, take, done = std::move(done)] {
                         reply->deleteLater();
                         const bool whole = take() && reply->error() == QNetworkReply::NoError &&
                                            isSuccess(*reply);
                         done(whole ? std::optional(*body) : std::nullopt);
                     });
    return reply;
}

// What the index lists for a pack, when it lists both its size and its checksum.
struct Listed {
    qint64 size = 0;
    QByteArray sha256;
};

std::optional<Listed> listed(const QByteArray& index, const QString& code) {
    const QJsonDocument document = QJsonDocument::fromJson(index);
    for (const QJsonValue& value : document.object().value(u"packs"_s).toArray()) {
        const QJsonObject pack = value.toObject();
        if (pack.value(u"lang"_s).toString() != code)
            continue;
        const double size = pack.value(u"size"_s).toDouble(-1);
        const QByteArray hex = pack.value(u"sha256"_s).toString().toLatin1().toLower();
        const QByteArray sha256 = QByteArray::fromHex(hex);
        // A whole number of bytes that a double holds exactly, and 32 bytes in hex digits.
        if (size < 0 || size > 0x1p53 || size != std::floor(size) || sha256.size() != 32 ||
            sha256.toHex() != hex)
            return std::nullopt;
        return Listed{qint64(size), sha256};
    }
    return std::nullopt;
}

// One download of one pack: take the lock or wait for its holder, read what the server's
// index lists for it, fetch into a temporary file in the dictionary folder while checking the
// body, then move it over the pack. Lives on the downloader's thread.
class Download : public QObject {
public:
    Download(const QString& code, const QString& directory, const QUrl& base,
             const PackLimits& limits, Lexicon& lexicon, QNetworkAccessManager& network,
             std::function<void(Failure)> done, QObject* parent)
        : QObject(parent)
        , m_code(code)
        , m_directory(directory)
        , m_pack(directory + u'/' + Lexicon::fileName(code))
        , m_base(base)
        , m_limits(limits)
        , m_lexicon(lexicon)
        , m_network(network)
        , m_done(std::move(done))
        , m_lock(m_pack + u".lock"_s) {
        m_poller.setInterval(LexiconDownloader::pollMilliseconds);
        connect(&m_poller, &QTimer::timeout, this, [this] { poll(); });
        // A server that sends a byte now and then never trips the wait without data, and
        // would hold the lock, and everyone waiting for the pack, for as long as it liked.
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] { finish(Failure::TooSlow); });
    }

    ~Download() override { finish(Failure::Transfer); }

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
            finish(Failure::Transfer);
            break;
        }
    }

    void cancel() { finish(Failure::Transfer); }

private:
    // With the lock: another process may have finished the pack meanwhile.
    void hold() {
        if (m_lexicon.isInstalled(m_code)) {
            finish(Failure::None);
            return;
        }
        m_deadline.start(m_limits.deadlineMs);
        if (!openTemporary())
            finish(Failure::Transfer);
        else if (m_base.isLocalFile())
            copyLocal();
        else
            fetchIndex();
    }

    void poll() {
        if (QFileInfo::exists(m_pack)) {
            finish(Failure::None);
            return;
        }
        switch (m_lock.takeOver()) {
        case PackLock::Result::Taken:
            m_poller.stop();
            hold();
            return;
        case PackLock::Result::Failed:
            finish(Failure::Transfer);
            return;
        case PackLock::Result::Busy:
            break;
        }
        if (++m_polls >= LexiconDownloader::maxPolls)
            finish(m_lexicon.isInstalled(m_code) ? Failure::None : Failure::Transfer);
    }

    bool openTemporary() {
        m_temporary = std::make_unique<QTemporaryFile>(m_directory + u"/."_s +
                                                       Lexicon::fileName(m_code) + u".XXXXXX"_s);
        return m_temporary->open();
    }

    // A server's index that lists the pack's size and checksum has them checked; one that
    // cannot be read, or lists neither, leaves the pack to the checks of its own.
    void fetchIndex() {
        m_reply = fetchSmall(m_network, besideBase(m_base, LexiconDownloader::indexFileName),
                             m_limits.silenceMs, maxIndexBytes, this,
                             [this](std::optional<QByteArray> index) {
                                 if (index)
                                     m_listed = listed(*index, m_code);
                                 fetch();
                             });
    }

    void fetch() {
        m_reply = m_network.get(
            request(besideBase(m_base, Lexicon::fileName(m_code)), m_limits.silenceMs));
        connect(m_reply, &QNetworkReply::readyRead, this, [this] { receive(); });
        connect(m_reply, &QNetworkReply::finished, this, [this] { fetched(); });
    }

    // A pack in a local folder is a download that has already arrived: it takes the same
    // checks and the same move into place, a piece per turn of the thread's event loop so that
    // the other downloads go on meanwhile.
    void copyLocal() {
        m_source =
            std::make_unique<QFile>(besideBase(m_base, Lexicon::fileName(m_code)).toLocalFile());
        if (!m_source->open(QIODevice::ReadOnly)) {
            finish(Failure::Transfer);
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
                finish(Failure::Transfer);
            return;
        }
        if (accept(chunk))
            QTimer::singleShot(0, this, [this] { copyPiece(); });
    }

    bool accept(const QByteArray& chunk) {
        // A live holder keeps its lock young, so that waiters never take it for stale.
        m_lock.refresh();
        m_received += chunk.size();
        if (m_listed && m_received > m_listed->size)
            finish(Failure::NotAsListed);
        else if (m_received > m_limits.maxPackBytes)
            finish(Failure::TooLarge);
        else if (!m_validator.add(chunk))
            finish(Failure::Damaged);
        else if (m_temporary->write(chunk) != chunk.size())
            finish(Failure::Transfer);
        else
            m_hash.addData(chunk);
        return !m_finished;
    }

    void receive() {
        if (m_finished)
            return;
        // Another answer's body is not kept: the reply ends in failure all the same.
        if (!isSuccess(*m_reply)) {
            m_reply->skip(m_reply->bytesAvailable());
            return;
        }
        // One byte past the cap is enough to know; what lies beyond is never read.
        const qint64 room = m_limits.maxPackBytes - m_received + 1;
        const QByteArray chunk = m_reply->read(std::min(m_reply->bytesAvailable(), room));
        if (!chunk.isEmpty())
            accept(chunk);
    }

    void fetched() {
        receive();
        if (m_finished)
            return;
        if (m_reply->error() != QNetworkReply::NoError || !isSuccess(*m_reply)) {
            finish(Failure::Transfer);
            return;
        }
        install();
    }

    void install() {
        if (!m_validator.finish()) {
            finish(Failure::Damaged);
            return;
        }
        if (m_listed && (m_received != m_listed->size || m_hash.result() != m_listed->sha256)) {
            finish(Failure::NotAsListed);
            return;
        }
        if (!m_temporary->flush() || ::fsync(m_temporary->handle()) != 0) {
            finish(Failure::Transfer);
            return;
        }
        // The pack is replaced in one step and is on the disk before its name is.
        const QString path = m_temporary->fileName();
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(m_pack).constData()) !=
            0) {
            finish(Failure::Transfer);
            return;
        }
        m_temporary->setAutoRemove(false);
        m_temporary.reset();
        const int folder = ::open(QFile::encodeName(m_directory).constData(), O_RDONLY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        finish(Failure::None);
    }

    void finish(Failure failure) {
        if (m_finished)
            return;
        m_finished = true;
        m_poller.stop();
        m_deadline.stop();
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
            done(failure);
    }

    const QString m_code;
    const QString m_directory;
    const QString m_pack;
    const QUrl m_base;
    const PackLimits m_limits;
    Lexicon& m_lexicon;
    QNetworkAccessManager& m_network;
    std::function<void(Failure)> m_done;
    QTimer m_poller;
    QTimer m_deadline;
    int m_polls = 0;
    PackLock m_lock;
    QPointer<QNetworkReply> m_reply;
    std::unique_ptr<QTemporaryFile> m_temporary;
    std::unique_ptr<QFile> m_source;
    LexiconPack::Validator m_validator;
    std::optional<Listed> m_listed;
    qint64 m_received = 0;
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    bool m_finished = false;
};

} // namespace

// The downloader's side of its thread: the network access and the running downloads.
class LexiconDownloadWorker : public QObject {
public:
    using Catalogue = QPromise<LexiconDownloader::Catalogue>;

    // The index is small: a local one is read at once, a remote one with the bounds of every
    // transfer. A promise left unfinished at shut-down is cancelled as it goes.
    void fetchIndex(const QUrl& url, const PackLimits& limits, std::shared_ptr<Catalogue> promise) {
        const auto answer = [promise](LexiconDownloader::Catalogue catalogue) {
            promise->addResult(std::move(catalogue));
            promise->finish();
        };
        if (url.isLocalFile()) {
            QFile file(url.toLocalFile());
            answer(file.open(QIODevice::ReadOnly) && file.size() <= maxIndexBytes
                       ? LexiconDownloader::parseIndex(file.read(maxIndexBytes))
                       : LexiconDownloader::Catalogue{});
            return;
        }
        if (!m_network)
            m_network = std::make_unique<QNetworkAccessManager>();
        QNetworkReply* reply = fetchSmall(*m_network, url, limits.silenceMs, maxIndexBytes, this,
                                          [answer](std::optional<QByteArray> index) {
                                              answer(index ? LexiconDownloader::parseIndex(*index)
                                                           : LexiconDownloader::Catalogue{});
                                          });
        auto* deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
        deadline->start(limits.deadlineMs);
    }

    void start(const QString& code, const QString& directory, const QUrl& base,
               const PackLimits& limits, Lexicon& lexicon, std::function<void(Failure)> done) {
        if (!m_network)
            m_network = std::make_unique<QNetworkAccessManager>();
        auto* download =
            new Download(code, directory, base, limits, lexicon, *m_network, std::move(done), this);
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

LexiconDownloader::LexiconDownloader(Lexicon& lexicon, std::optional<QUrl> baseURL,
                                     PackLimits limits)
    : m_lexicon(lexicon)
    , m_base(std::move(baseURL))
    , m_limits(limits)
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
        m_waiting->landed(pack, Failure::Transfer);
}

void LexiconDownloader::Waiting::landed(const QString& pack, Failure failure) {
    QList<std::shared_ptr<Waiter>> done;
    {
        std::lock_guard guard(mutex);
        failures.insert(pack, failure);
        for (const std::shared_ptr<Waiter>& waiter : lists.take(pack)) {
            waiter->installed = waiter->installed && failure == Failure::None;
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
                            m_worker->start(pack, directory, base, m_limits, m_lexicon,
                                            [waiting = m_waiting, pack](Failure failure) {
                                                waiting->landed(pack, failure);
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
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, url = besideBase(*m_base, indexFileName), limits = m_limits,
                   promise]() mutable { worker->fetchIndex(url, limits, std::move(promise)); });
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

LexiconDownloader::Failure LexiconDownloader::failure(const QString& code) const {
    std::lock_guard guard(m_waiting->mutex);
    return m_waiting->failures.value(Languages::lexiconCode(code), Failure::None);
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
