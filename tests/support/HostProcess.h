#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <optional>

namespace tivela::test {

// The real bridge host started over pipes, spoken to the way a browser speaks to it.
class HostProcess {
public:
    // The staged host unless another program is given.
    explicit HostProcess(const QString& program = {}, const QProcessEnvironment& environment =
                                                          QProcessEnvironment::systemEnvironment());
    ~HostProcess();

    static QString stagedProgram();

    bool started() const;
    void send(const QJsonObject& request);
    void sendRaw(const QByteArray& bytes);
    // The next reply, or nothing when none comes within timeoutMs or the host ended.
    std::optional<QJsonObject> receive(int timeoutMs = 10000);
    // Sends a request with this id and waits for the reply carrying the same id; replies to
    // other requests that come first are kept for later.
    std::optional<QJsonObject> request(QJsonObject request, int timeoutMs = 10000);
    void closeInput();
    // The exit status, or -1 when the host did not end normally within timeoutMs.
    int waitForExit(int timeoutMs = 10000);
    QByteArray unreadOutput();
    QProcess& process() { return m_process; }

private:
    std::optional<QJsonObject> readFresh(int timeoutMs);

    QProcess m_process;
    QByteArray m_buffer;
    QList<QJsonObject> m_kept;
    int m_nextId = 1;
};

} // namespace tivela::test
