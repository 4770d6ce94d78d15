#include "support/HostProcess.h"

#include "core/BridgeMessage.h"
#include "support/TestWorld.h"

#include <QDeadlineTimer>

namespace tivela::test {

HostProcess::HostProcess(const QString& program, const QProcessEnvironment& environment) {
    process_.setProcessEnvironment(environment);
    process_.setProgram(program.isEmpty() ? stagedProgram() : program);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    process_.waitForStarted(10000);
}

HostProcess::~HostProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
}

QString HostProcess::stagedProgram() {
    return stageDir() + QStringLiteral("/libexec/tivela-bridge");
}

bool HostProcess::started() const {
    return process_.state() == QProcess::Running;
}

void HostProcess::send(const QJsonObject& request) {
    sendRaw(BridgeMessage::frame(request));
}

void HostProcess::sendRaw(const QByteArray& bytes) {
    process_.write(bytes);
    process_.waitForBytesWritten(5000);
}

std::optional<QJsonObject> HostProcess::readFresh(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        buffer_ += process_.readAllStandardOutput();
        const BridgeMessage::Taken taken = BridgeMessage::take(buffer_);
        if (taken.status == BridgeMessage::Taken::Status::frame)
            return taken.object;
        if (taken.status == BridgeMessage::Taken::Status::refused || deadline.hasExpired() ||
            process_.state() == QProcess::NotRunning)
            return std::nullopt;
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
}

std::optional<QJsonObject> HostProcess::receive(int timeoutMs) {
    if (!kept_.isEmpty())
        return kept_.takeFirst();
    return readFresh(timeoutMs);
}

std::optional<QJsonObject> HostProcess::request(QJsonObject request, int timeoutMs) {
    if (!request.contains(QStringLiteral("id")))
        request.insert(QStringLiteral("id"), QStringLiteral("r%1").arg(nextId_++));
    const QJsonValue id = request.value(QStringLiteral("id"));
    send(request);
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        auto reply = readFresh(int(std::max<qint64>(1, deadline.remainingTime())));
        if (!reply || reply->value(QStringLiteral("id")) == id)
            return reply;
        kept_.append(*reply);
    }
}

void HostProcess::closeInput() {
    process_.closeWriteChannel();
}

int HostProcess::waitForExit(int timeoutMs) {
    if (!process_.waitForFinished(timeoutMs) && process_.state() != QProcess::NotRunning)
        return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QByteArray HostProcess::unreadOutput() {
    buffer_ += process_.readAllStandardOutput();
    return std::exchange(buffer_, {});
}

} // namespace tivela::test
