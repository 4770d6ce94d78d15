#include "app/checks/BridgeConversation.h"

#include "core/BridgeMessage.h"

#include <QProcess>
#include <QPromise>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace tivela::BridgeConversation {
namespace {

// Owns the host process from its start until it is reaped, then deletes itself.
class Conversation : public QObject {
public:
    Conversation(int expected, std::chrono::milliseconds deadline)
        : m_expected(expected) {
        m_deadline.setSingleShot(true);
        m_deadline.setInterval(deadline);
        m_ending.setSingleShot(true);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        connect(&m_deadline, &QTimer::timeout, this, &Conversation::stopListening);
        connect(&m_process, &QProcess::readyReadStandardOutput, this, &Conversation::readReplies);
        connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                finish();
        });
        connect(&m_process, &QProcess::finished, this, [this] {
            readReplies();
            finish();
        });
        m_promise.start();
    }

    QFuture<Replies> future() { return m_promise.future(); }

    void start(const QString& program, const QString& origin, const QList<QJsonObject>& messages) {
        QByteArray frames;
        for (const QJsonObject& message : messages)
            frames += BridgeMessage::frame(message);
        connect(&m_process, &QProcess::started, this, [this, frames] {
            m_process.write(frames);
            m_deadline.start();
            if (m_expected == 0)
                stopListening();
        });
        m_process.start(program, {origin});
    }

private:
    void readReplies() {
        if (!m_listening)
            return;
        m_buffer += m_process.readAllStandardOutput();
        for (;;) {
            const BridgeMessage::Taken taken = BridgeMessage::take(m_buffer);
            if (taken.status == BridgeMessage::Taken::Status::incomplete)
                return;
            if (taken.status == BridgeMessage::Taken::Status::refused)
                return stopListening();
            const QJsonValue id = taken.object.value(u"id"_s);
            if (id.isDouble() && id.toDouble() == double(id.toInt()))
                m_replies.insert(id.toInt(), taken.object);
            if (m_replies.size() >= m_expected)
                return stopListening();
        }
    }

    // Closes the host's input, then asks more and more firmly until it has ended.
    void stopListening() {
        if (!m_listening)
            return;
        m_listening = false;
        m_deadline.stop();
        m_process.closeWriteChannel();
        if (m_process.state() == QProcess::NotRunning)
            return finish();
        connect(&m_ending, &QTimer::timeout, this, [this] {
            if (m_signalled) {
                m_process.kill();
                return;
            }
            m_signalled = true;
            m_process.terminate();
            m_ending.start(terminateGrace);
        });
        m_ending.start(closeGrace);
    }

    void finish() {
        if (m_finished || m_process.state() != QProcess::NotRunning)
            return;
        m_finished = true;
        m_listening = false;
        m_deadline.stop();
        m_ending.stop();
        m_promise.addResult(m_replies);
        m_promise.finish();
        deleteLater();
    }

    const int m_expected;
    QProcess m_process;
    QTimer m_deadline;
    QTimer m_ending;
    QByteArray m_buffer;
    Replies m_replies;
    QPromise<Replies> m_promise;
    bool m_listening = true;
    bool m_signalled = false;
    bool m_finished = false;
};

} // namespace

QFuture<Replies> talk(const QString& program, const QString& origin,
                      const QList<QJsonObject>& messages, std::chrono::milliseconds deadline) {
    auto* conversation = new Conversation(int(messages.size()), deadline);
    QFuture<Replies> future = conversation->future();
    conversation->start(program, origin, messages);
    return future;
}

} // namespace tivela::BridgeConversation
