#include "support/FakeSpeechDaemon.h"

#include <gtest/gtest.h>

#include <QLocalSocket>

using namespace Qt::StringLiterals;

namespace tivela::test {

FakeDaemon::FakeDaemon(Mode mode)
    : m_mode(mode) {
    const QString path = m_dir.filePath(u"speechd.sock"_s);
    EXPECT_TRUE(m_server.listen(path));
    qputenv("SPEECHD_ADDRESS", "unix_socket:" + path.toLocal8Bit());
    QObject::connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server.nextPendingConnection()) {
            client->setParent(this);
            QObject::connect(client, &QLocalSocket::readyRead, this,
                             [this, client] { serve(client); });
        }
    });
}

FakeDaemon::~FakeDaemon() {
    qunsetenv("SPEECHD_ADDRESS");
}

void FakeDaemon::listManyVoices(const QByteArray& module, int count, const QByteArray& language) {
    QByteArrayList many;
    many.reserve(count);
    for (int i = 0; i < count; ++i)
        many << "Voice " + QByteArray::number(i) + '\t' + language + "\tnone";
    modules.insert(module, many);
    heldModules = {"rhvoice"};
}

void FakeDaemon::release() {
    holdLists = false;
    heldModules.clear();
    for (const auto& [client, reply] : std::as_const(m_held))
        if (client)
            client->write(reply);
    m_held.clear();
}

bool FakeDaemon::sent() const {
    const QList<QLocalSocket*> clients = findChildren<QLocalSocket*>();
    return std::all_of(clients.cbegin(), clients.cend(),
                       [](const QLocalSocket* client) { return client->bytesToWrite() == 0; });
}

void FakeDaemon::serve(QLocalSocket* client) {
    QByteArray& buffer = m_buffers[client];
    buffer += client->readAll();
    qsizetype end;
    while ((end = buffer.indexOf("\r\n")) >= 0) {
        const QByteArray line = buffer.left(end);
        buffer.remove(0, end + 2);
        if (m_mode == Mode::stall) {
            log << line;
            continue;
        }
        if (m_mode == Mode::babble) {
            client->write("Hello there\r\n");
            continue;
        }
        client->write(answer(client, line));
    }
}

QByteArray FakeDaemon::answer(QLocalSocket* client, const QByteArray& line) {
    QByteArrayList& body = m_bodies[client];
    if (m_receiving.contains(client)) {
        if (line != ".") {
            body << line;
            return {};
        }
        m_receiving.remove(client);
        log << "DATA " + body.join("\r\n");
        body.clear();
        return "225-7\r\n225 OK MESSAGE QUEUED\r\n";
    }
    log << line;
    if (line.startsWith("SET SELF CLIENT_NAME "))
        return "208 OK CLIENT NAME SET\r\n";
    if (line == "LIST OUTPUT_MODULES") {
        QByteArray reply;
        for (const QByteArray& module : modules.keys())
            reply += "250-" + module + "\r\n";
        return reply + "250 OK MODULE LIST SENT\r\n";
    }
    if (line.startsWith("SET SELF OUTPUT_MODULE ")) {
        m_module[client] = line.mid(23);
        return "216 OK OUTPUT MODULE SET\r\n";
    }
    if (line == "LIST SYNTHESIS_VOICES") {
        const QByteArrayList voices = modules.value(m_module[client]);
        if (voices.isEmpty())
            return "321 ERR MODULE CANT REPORT VOICES\r\n";
        QByteArray reply;
        for (const QByteArray& voice : voices)
            reply += "249-" + voice + "\r\n";
        reply += "249 OK VOICE LIST SENT\r\n";
        if (!holdLists && !heldModules.contains(m_module[client]))
            return reply;
        m_held.append({QPointer<QLocalSocket>(client), reply});
        return {};
    }
    if (line.startsWith("SET SELF SYNTHESIS_VOICE "))
        return "209 OK VOICE SET\r\n";
    if (line == "SPEAK") {
        m_receiving.insert(client);
        return "230 OK RECEIVING DATA\r\n";
    }
    if (line == "CANCEL SELF")
        return "213 OK CANCELED\r\n";
    return "300 ERR UNKNOWN COMMAND\r\n";
}

} // namespace tivela::test
