#include "platform/updates/UpdateChecker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QTemporaryFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// A name longer than this is cut; file systems allow 255 bytes.
constexpr qsizetype maxNameLength = 200;

QString sizeText(qint64 bytes) {
    return QLocale::c().formattedDataSize(bytes, 0, QLocale::DataSizeIecFormat);
}

// What one transfer may take.
struct Bounds {
    // Without data.
    int silenceMs = 0;
    qint64 maxBytes = 0;
    // In all.
    int deadlineMs = 0;
    // When the server tells the size: as long as it takes at this rate, no shorter than
    // minDeadlineMs nor longer than deadlineMs. 0: the size changes nothing.
    qint64 slowBytesPerSecond = 0;
    int minDeadlineMs = 0;
};

// One GET whose body goes to sink piece by piece; done gets an empty text on success, or why
// it failed, exactly once. A sink that returns false ends the transfer.
void fetch(QNetworkAccessManager& network, const QUrl& url, const Bounds& bounds,
           std::function<bool(const QByteArray&)> sink, std::function<void(QString)> done) {
    struct Transfer {
        qint64 received = 0;
        QString failure;
        bool finished = false;
        QElapsedTimer started;
        int deadlineMs = 0;
    };
    const int timeoutMs = bounds.silenceMs;
    const qint64 maxBytes = bounds.maxBytes;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network.get(request);
    auto transfer = std::make_shared<Transfer>();
    transfer->started.start();
    // A server that sends a byte now and then never trips the timeout without data.
    auto* overall = new QTimer(reply);
    overall->setSingleShot(true);
    const auto setDeadline = [=](int ms) {
        transfer->deadlineMs = ms;
        overall->start(int(std::max<qint64>(0, ms - transfer->started.elapsed())));
    };
    setDeadline(bounds.deadlineMs);
    auto finish = [=](const QString& error) {
        if (std::exchange(transfer->finished, true))
            return;
        overall->stop();
        reply->deleteLater();
        done(error);
    };
    // Aborting may finish the reply at once, inside this call.
    auto fail = [=](const QString& why) {
        if (transfer->failure.isEmpty())
            transfer->failure = why;
        reply->abort();
        finish(transfer->failure);
    };
    QObject::connect(overall, &QTimer::timeout, reply, [=] {
        fail(u"The transfer took longer than %1 seconds."_s.arg(transfer->deadlineMs / 1000.0));
    });
    const QString tooLarge = u"The server's answer is larger than %1."_s.arg(sizeText(maxBytes));
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [=] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes) {
            fail(tooLarge);
            return;
        }
        if (length.isValid() && bounds.slowBytesPerSecond > 0)
            setDeadline(
                int(std::clamp<qint64>(length.toLongLong() * 1000 / bounds.slowBytesPerSecond,
                                       bounds.minDeadlineMs, bounds.deadlineMs)));
    });
    auto drain = [=] {
        if (transfer->finished || reply->bytesAvailable() == 0)
            return;
        // read(n) reserves n bytes up front: ask for no more than is there.
        const QByteArray piece =
            reply->read(std::min(reply->bytesAvailable(), maxBytes - transfer->received + 1));
        transfer->received += piece.size();
        if (transfer->received > maxBytes)
            fail(tooLarge);
        else if (!sink(piece))
            fail(u"The download could not be saved."_s);
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, drain);
    QObject::connect(reply, &QNetworkReply::finished, reply, [=] {
        drain();
        if (transfer->finished)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!transfer->failure.isEmpty())
            finish(transfer->failure);
        else if (reply->error() == QNetworkReply::OperationCanceledError)
            finish(u"The server sent nothing for %1 seconds."_s.arg(timeoutMs / 1000.0));
        else if (status != 0 && (status < 200 || status > 299))
            finish(u"The server answered with status %1."_s.arg(status));
        else if (reply->error() != QNetworkReply::NoError)
            finish(reply->errorString());
        else
            finish(QString());
    });
}

} // namespace

UpdateChecker::UpdateChecker(const QUrl& feed, const QString& currentVersion, UpdateLimits limits,
                             QNetworkAccessManager* network, QObject* parent)
    : QObject(parent)
    , m_network(network ? network : new QNetworkAccessManager(this))
    , m_feed(feed)
    , m_current(currentVersion)
    , m_limits(limits) {
}

bool UpdateChecker::isWebAddress(const QUrl& url) {
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == u"https"_s || url.scheme() == u"http"_s);
}

std::optional<QString> UpdateChecker::fileName(const QUrl& url) {
    QString name;
    for (const QChar c : url.fileName(QUrl::FullyDecoded)) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
            c == u'.' || c == u'_' || c == u'+' || c == u'-')
            name += c;
    }
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    name.truncate(maxNameLength);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

QFuture<UpdateCheck> UpdateChecker::check() {
    auto promise = std::make_shared<QPromise<UpdateCheck>>();
    QFuture<UpdateCheck> future = promise->future();
    promise->start();
    auto finish = [promise](const UpdateCheck& result) {
        promise->addResult(result);
        promise->finish();
    };
    if (!isWebAddress(m_feed)) {
        finish({UpdateCheck::Outcome::failed, std::nullopt,
                u"The update feed's address is not a web address."_s});
        return future;
    }
    auto body = std::make_shared<QByteArray>();
    fetch(
        *m_network, m_feed,
        Bounds{m_limits.transferTimeoutMs, m_limits.maxFeedBytes, m_limits.feedDeadlineMs},
        [body](const QByteArray& piece) {
            body->append(piece);
            return true;
        },
        [finish, body, current = m_current](const QString& error) {
            if (!error.isEmpty())
                return finish({UpdateCheck::Outcome::failed, std::nullopt, error});
            const auto items = UpdateFeed::parse(*body);
            if (!items)
                return finish({UpdateCheck::Outcome::failed, std::nullopt,
                               u"The update feed is not an RSS feed."_s});
            const auto item = UpdateFeed::newest(*items, current);
            finish({item ? UpdateCheck::Outcome::found : UpdateCheck::Outcome::upToDate, item,
                    QString()});
        });
    return future;
}

QFuture<std::optional<QString>> UpdateChecker::download(const QUrl& url, const QString& folder) {
    auto promise = std::make_shared<QPromise<std::optional<QString>>>();
    QFuture<std::optional<QString>> future = promise->future();
    promise->start();
    auto finish = [promise](const std::optional<QString>& path) {
        promise->addResult(path);
        promise->finish();
    };
    const auto name = fileName(url);
    const QString target = folder + u'/' + name.value_or(QString());
    const QFileInfo existing(target);
    if (!isWebAddress(url) || !name || existing.exists() || existing.isSymLink() ||
        !QDir().mkpath(folder)) {
        finish(std::nullopt);
        return future;
    }
    // Hidden until it is whole; a link puts it in place only where nothing stands.
    auto file = std::make_shared<QTemporaryFile>(folder + u"/.tivela-XXXXXX.part"_s);
    if (!file->open()) {
        finish(std::nullopt);
        return future;
    }
    fetch(
        *m_network, url,
        Bounds{m_limits.transferTimeoutMs, m_limits.maxFileBytes, m_limits.fileDeadlineMaxMs,
               m_limits.slowBytesPerSecond, m_limits.fileDeadlineMinMs},
        [file](const QByteArray& piece) { return file->write(piece) == piece.size(); },
        [finish, file, target](const QString& error) {
            if (!error.isEmpty() || !file->flush() ||
                !file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ReadGroup | QFileDevice::ReadOther))
                return finish(std::nullopt);
            if (::link(QFile::encodeName(file->fileName()).constData(),
                       QFile::encodeName(target).constData()) == 0)
                return finish(target);
            // File systems without hard links: a rename, which refuses an existing target.
            if (errno != EEXIST && file->rename(target))
                return finish(target);
            finish(std::nullopt);
        });
    return future;
}

} // namespace tivela
