#pragma once

#include "core/Voices.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <optional>

namespace tivela {

// A connection to the speech-dispatcher daemon, found where libspeechd looks for it
// (SPEECHD_ADDRESS, else the socket in the user's runtime folder) and started on demand the
// way libspeechd starts it. The conversation itself is ours: libspeechd waits for replies
// without a limit, starts the daemon synchronously, ends the process on a reply it cannot
// parse and can die of SIGPIPE, while a daemon without a sound device is known to stall.
// Here every wait has a limit, a broken reply only drops the connection, and a second file
// descriptor can interrupt any wait. Calls block their thread, so one worker thread owns it.
class SpeechDispatcher {
public:
    struct Limits {
        // One ordinary command, and the greeting after connecting.
        std::chrono::milliseconds reply{3000};
        // The voice list of one module (espeak-ng lists about 13,000 voices in 1.5 s).
        std::chrono::milliseconds list{15000};
        // Starting the daemon (about 2 s).
        std::chrono::milliseconds spawn{10000};
    };

    // interruptFd, when readable, ends any wait at once and drops the connection.
    SpeechDispatcher(Limits limits, bool autospawn, int interruptFd = -1);
    ~SpeechDispatcher();
    SpeechDispatcher(const SpeechDispatcher&) = delete;
    SpeechDispatcher& operator=(const SpeechDispatcher&) = delete;

    // Connects unless connected, starting the daemon when allowed and none listens.
    bool connect();
    bool isConnected() const { return m_fd >= 0; }
    void close();

    // Every module's voices; nothing when the daemon did not answer.
    std::optional<QList<Voices::Voice>> voices();
    // Queues the text with the module's voice; true once the daemon took it.
    bool speak(const QString& text, const QString& module, const QString& voiceName);
    // Silences this client's speech and drops its queued messages.
    bool cancel();
    // For the end: silences this client's speech without waiting for the answer, and drops the
    // connection. A conversation cut off in the middle of a command is only dropped: a command
    // now could land inside the message being sent, and the daemon takes nothing of a message
    // that was never ended.
    void leave();

    // A text as the body of a SPEAK command: lines ended by CR LF and a leading dot doubled,
    // so no line of the text can end the message early.
    static QByteArray body(const QString& text);

private:
    struct Reply {
        int code = 0;
        QList<QByteArray> lines;
        bool ok() const { return code >= 200 && code < 300; }
    };
    using Deadline = std::chrono::steady_clock::time_point;

    bool open();
    bool spawn();
    std::optional<Reply> command(const QByteArray& line, std::chrono::milliseconds limit);
    std::optional<Reply> reply(Deadline deadline);
    bool send(const QByteArray& bytes, Deadline deadline);
    std::optional<QByteArray> line(Deadline deadline);
    bool wait(short events, Deadline deadline);
    bool interrupted() const;

    Limits m_limits;
    bool m_autospawn;
    int m_interruptFd;
    int m_fd = -1;
    // A command was sent and its reply not read to the end.
    bool m_awaitingReply = false;
    QByteArray m_buffer;
    qsizetype m_consumed = 0;
    // Where the daemon listens: a socket path, or a host and port.
    QString m_socketPath;
    QString m_host;
    int m_port = 0;
};

} // namespace tivela
