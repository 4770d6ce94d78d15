#include "support/HttpServer.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace tivela::test {
namespace {

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

void sendBody(QPointer<QTcpSocket> socket, QByteArray body, int chunks, int delayMs) {
    if (!socket)
        return;
    const qsizetype piece = (body.size() + chunks - 1) / std::max(chunks, 1);
    if (chunks <= 1 || body.size() <= piece) {
        socket->write(body);
        socket->disconnectFromHost();
        return;
    }
    socket->write(body.first(piece));
    socket->flush();
    QTimer::singleShot(delayMs, socket, [socket, rest = body.sliced(piece), chunks, delayMs] {
        sendBody(socket, rest, chunks - 1, delayMs);
    });
}

} // namespace

HttpServer::HttpServer()
    : context_(new QObject) {
    context_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(
        context_,
        [this] {
            server_ = new QTcpServer;
            server_->listen(QHostAddress::LocalHost, 0);
            port_ = server_->serverPort();
            QObject::connect(server_, &QTcpServer::newConnection, server_, [this] {
                while (QTcpSocket* accepted = server_->nextPendingConnection()) {
                    QPointer<QTcpSocket> socket = accepted;
                    QObject::connect(socket, &QTcpSocket::disconnected, socket,
                                     &QObject::deleteLater);
                    QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                        if (socket->property("answered").toBool())
                            return;
                        QByteArray request = socket->property("request").toByteArray();
                        request += socket->readAll();
                        socket->setProperty("request", request);
                        if (!request.contains("\r\n\r\n"))
                            return;
                        socket->setProperty("answered", true);
                        const QList<QByteArray> line =
                            request.first(request.indexOf("\r\n")).split(' ');
                        const Response response =
                            respond(QString::fromUtf8(line.value(1)).section(u'?', 0, 0));
                        QTimer::singleShot(response.delayMs, socket, [socket, response] {
                            QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) +
                                              ' ' + reason(response.status) +
                                              "\r\nConnection: close\r\n";
                            if (response.sendLength)
                                head +=
                                    "Content-Length: " + QByteArray::number(response.body.size()) +
                                    "\r\n";
                            if (!response.location.isEmpty())
                                head += "Location: " + response.location + "\r\n";
                            socket->write(head + "\r\n");
                            sendBody(socket, response.body, response.chunks, response.chunkDelayMs);
                        });
                    });
                }
            });
        },
        Qt::BlockingQueuedConnection);
}

HttpServer::~HttpServer() {
    QMetaObject::invokeMethod(
        context_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait(10000);
    delete context_;
}

QUrl HttpServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(path));
}

void HttpServer::route(const QString& path, const Response& response) {
    QMutexLocker locker(&mutex_);
    routes_.insert(path, response);
}

int HttpServer::requests(const QString& path) const {
    QMutexLocker locker(&mutex_);
    return counts_.value(path);
}

int HttpServer::totalRequests() const {
    QMutexLocker locker(&mutex_);
    int total = 0;
    for (const int count : counts_)
        total += count;
    return total;
}

HttpServer::Response HttpServer::respond(const QString& path) {
    QMutexLocker locker(&mutex_);
    ++counts_[path];
    Response missing;
    missing.status = 404;
    missing.body = "not found";
    return routes_.value(path, missing);
}

quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace tivela::test
