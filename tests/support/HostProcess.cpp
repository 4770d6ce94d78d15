#include "support/HostProcess.h"

#include "core/BridgeMessage.h"
#include "support/TestWorld.h"

#include <QDeadlineTimer>

namespace tivela::test {

HostProcess::HostProcess(const QString& program, const QProcessEnvironment& environment) {
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(program.isEmpty() ? stagedProgram() : program);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start();
    m_process.waitForStarted(10000);
}

HostProcess::~HostProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

QString HostProcess::stagedProgram() {
    return stageDir() + QStringLiteral("/libexec/tivela-bridge");
}

bool HostProcess::started() const {
    return m_process.state() == QProcess::Running;
}

void HostProcess::send(const QJsonObject& request) {
    sendRaw(BridgeMessage::frame(request));
}

void HostProcess::sendRaw(const QByteArray& bytes) {
    m_process.write(bytes);
    m_process.waitForBytesWritten(5000);
}

std::optional<QJsonObject> HostProcess::readFresh(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        m_buffer += m_process.readAllStandardOutput();
        const BridgeMessage::Taken taken = BridgeMessage::take(m_buffer);
        if (taken.status == BridgeMessage::Taken::Status::frame)
            return taken.object;
        if (taken.status == BridgeMessage::Taken::Status::refused || deadline.hasExpired() ||
            m_process.state() == QProcess::NotRunning)
            return std::nullopt;
        m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
}

std::optional<QJsonObject> HostProcess::receive(int timeoutMs) {
    if (!m_kept.isEmpty())
        return m_kept.takeFirst();
    return readFresh(timeoutMs);
}

std::optional<QJsonObject> HostProcess::request(QJsonObject request, int timeoutMs) {
    if (!request.contains(QStringLiteral("id")))
        request.insert(QStringLiteral("id"), QStringLiteral("r%1").arg(m_nextId++));
    const QJsonValue id = request.value(QStringLiteral("id"));
    send(request);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        auto reply = readFresh(int(std::max<qint64>(1, deadline.remainingTime())));
        if (!reply || reply->value(QStringLiteral("id")) == id)
            return reply;
        m_kept.append(*reply);
    }
}

void HostProcess::closeInput() {
    m_process.closeWriteChannel();
}

int HostProcess::waitForExit(int timeoutMs) {
    if (!m_process.waitForFinished(timeoutMs) && m_process.state() != QProcess::NotRunning)
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QByteArray HostProcess::unreadOutput() {
    m_buffer += m_process.readAllStandardOutput();
    return std::exchange(m_buffer, {});
}

} // namespace tivela::test
