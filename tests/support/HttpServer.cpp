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
    : m_context(new QObject) {
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_server = new QTcpServer;
            m_server->listen(QHostAddress::LocalHost, 0);
            m_port = m_server->serverPort();
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
                while (QTcpSocket* accepted = m_server->nextPendingConnection()) {
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
        m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait(10000);
    delete m_context;
}

QUrl HttpServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

void HttpServer::route(const QString& path, const Response& response) {
    QMutexLocker locker(&m_mutex);
    m_routes.insert(path, response);
}

int HttpServer::requests(const QString& path) const {
    QMutexLocker locker(&m_mutex);
    return m_counts.value(path);
}

int HttpServer::totalRequests() const {
    QMutexLocker locker(&m_mutex);
    int total = 0;
    for (const int count : m_counts)
        total += count;
    return total;
}

HttpServer::Response HttpServer::respond(const QString& path) {
    QMutexLocker locker(&m_mutex);
    ++m_counts[path];
    Response missing;
    missing.status = 404;
    missing.body = "not found";
    return m_routes.value(path, missing);
}

quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace tivela::test
