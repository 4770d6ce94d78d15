#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QThread>
#include <QUrl>

#include <memory>

class QTcpServer;

namespace tivela::test {

// A small HTTP/1.1 server on 127.0.0.1 and a free port, on a thread of its own so that tests
// can block their own thread while it answers. Unknown paths get 404.
class HttpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        // Waits this long before answering.
        int delayMs = 0;
        // Sends the body in this many pieces, chunkDelayMs apart.
        int chunks = 1;
        int chunkDelayMs = 0;
        // A Location header, for redirects.
        QByteArray location;
        // Without a Content-Length header the end of the connection ends the body.
        bool sendLength = true;
    };

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    quint16 port() const { return m_port; }
    QUrl url(const QString& path = QStringLiteral("/")) const;
    void route(const QString& path, const Response& response);
    // Requests seen for a path so far.
    int requests(const QString& path) const;
    int totalRequests() const;

private:
    Response respond(const QString& path);

    QThread m_thread;
    QObject* m_context;
    QTcpServer* m_server = nullptr;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QHash<QString, Response> m_routes;
    QHash<QString, int> m_counts;
};

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort();

} // namespace tivela::test
