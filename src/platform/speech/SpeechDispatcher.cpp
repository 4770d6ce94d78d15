#include "platform/speech/SpeechDispatcher.h"

#include "platform/speech/SynthesizerVoices.h"

#include <QProcess>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <speech-dispatcher/libspeechd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono;

namespace tivela {
namespace {

// Longer lines or replies than any daemon sends mean the peer is not one.
constexpr qsizetype maxLine = 64 * 1024;
constexpr qsizetype maxReply = 16 * 1024 * 1024;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Arguments go on one command line; a line break would start a command of its own.
bool isArgument(const QByteArray& text) {
    return !text.isEmpty() && !text.contains('\r') && !text.contains('\n');
}

QByteArray clientName() {
    QByteArray user = qgetenv("USER");
    user.removeIf([](char c) { return c == '"' || c == ':' || c <= ' '; });
    return "SET SELF CLIENT_NAME \"" + (user.isEmpty() ? QByteArray("user") : user) +
           ":tivela:main\"";
}

} // namespace

SpeechDispatcher::SpeechDispatcher(Limits limits, bool autospawn, int interruptFd)
    : m_limits(limits)
    , m_autospawn(autospawn)
    , m_interruptFd(interruptFd) {
    char* error = nullptr;
    SPDConnectionAddress* address = spd_get_default_address(&error);
    std::free(error);
    if (!address)
        return;
    if (address->method == SPD_METHOD_UNIX_SOCKET && address->unix_socket_name) {
        m_socketPath = QString::fromLocal8Bit(address->unix_socket_name);
    } else if (address->method == SPD_METHOD_INET_SOCKET && address->inet_socket_host) {
        m_host = QString::fromLocal8Bit(address->inet_socket_host);
        m_port = address->inet_socket_port;
    }
    SPDConnectionAddress__free(address);
}

SpeechDispatcher::~SpeechDispatcher() {
    close();
}

bool SpeechDispatcher::connect() {
    if (isConnected())
        return true;
    if (interrupted())
        return false;
    if (!open() && (!m_autospawn || !spawn() || !open()))
        return false;
    const auto greeting = command(clientName(), m_limits.reply);
    if (!greeting || !greeting->ok()) {
        close();
        return false;
    }
    return true;
}

bool SpeechDispatcher::open() {
    int fd = -1;
    int status = -1;
    if (!m_socketPath.isEmpty()) {
        const QByteArray path = m_socketPath.toLocal8Bit();
        sockaddr_un address{};
        if (size_t(path.size()) >= sizeof(address.sun_path))
            return false;
        address.sun_family = AF_UNIX;
        std::copy(path.begin(), path.end(), address.sun_path);
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return false;
        status = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } else if (!m_host.isEmpty()) {
        // Numeric addresses only: a name lookup could take any time.
        const QByteArray host = m_host == u"localhost" ? "127.0.0.1" : m_host.toLatin1();
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(m_port));
        if (::inet_pton(AF_INET, host.constData(), &address.sin_addr) != 1)
            return false;
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return false;
        status = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } else {
        return false;
    }
    m_fd = fd;
    if (status == 0)
        return true;
    if (errno == EINPROGRESS && wait(POLLOUT, steady_clock::now() + m_limits.reply)) {
        int error = 0;
        socklen_t length = sizeof(error);
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
            return true;
    }
    close();
    return false;
}

bool SpeechDispatcher::spawn() {
    QStringList arguments{u"--spawn"_s, u"--communication-method"_s};
    if (!m_socketPath.isEmpty())
        arguments << u"unix_socket"_s << u"--socket-path"_s << m_socketPath;
    else if (m_host == u"localhost" || m_host.startsWith(u"127."))
        arguments << u"inet_socket"_s << u"--port"_s << QString::number(m_port);
    else
        return false;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(u"speech-dispatcher"_s, arguments);
    if (!process.waitForStarted(int(m_limits.spawn.count())))
        return false;
    // The daemon forks and its first process ends once it listens; "already running" ends
    // it too, and either way connecting again tells.
    const auto deadline = steady_clock::now() + m_limits.spawn;
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(50)) {
        if (interrupted() || steady_clock::now() >= deadline) {
            process.kill();
            process.waitForFinished(1000);
            return false;
        }
    }
    return true;
}

void SpeechDispatcher::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_awaitingReply = false;
    m_buffer.clear();
    m_consumed = 0;
}

std::optional<QList<Voices::Voice>> SpeechDispatcher::voices() {
    if (!connect())
        return std::nullopt;
    const auto modules = command("LIST OUTPUT_MODULES", m_limits.reply);
    if (!modules)
        return std::nullopt;
    QList<Voices::Voice> result;
    if (!modules->ok())
        return result;
    for (const QByteArray& module : modules->lines) {
        if (!isArgument(module))
            continue;
        const auto chosen = command("SET SELF OUTPUT_MODULE " + module, m_limits.reply);
        if (!chosen)
            return std::nullopt;
        if (!chosen->ok())
            continue;
        // A module that cannot list its voices (one that crashed, say) answers with an error.
        const auto listed = command("LIST SYNTHESIS_VOICES", m_limits.list);
        if (!listed)
            return std::nullopt;
        if (!listed->ok())
            continue;
        const QString moduleName = QString::fromUtf8(module);
        qsizetype read = 0;
        for (const QByteArray& line : listed->lines) {
            // Some modules list hundreds of thousands of voices: an end of the process must
            // not wait for all of them to be read.
            if (++read % 4096 == 0 && interrupted())
                return std::nullopt;
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() < 2 || fields[0].isEmpty())
                continue;
            result << SynthesizerVoices::voice(moduleName, QString::fromUtf8(fields[0]),
                                               QString::fromUtf8(fields[1]),
                                               QString::fromUtf8(fields.value(2)));
        }
    }
    return result;
}

bool SpeechDispatcher::speak(const QString& text, const QString& module, const QString& voiceName) {
    const QByteArray moduleName = module.toUtf8();
    const QByteArray name = voiceName.toUtf8();
    if (!isArgument(moduleName) || !isArgument(name) || !connect())
        return false;
    for (const QByteArray& setting : {QByteArray("SET SELF OUTPUT_MODULE " + moduleName),
                                      QByteArray("SET SELF SYNTHESIS_VOICE " + name)}) {
        const auto set = command(setting, m_limits.reply);
        if (!set || !set->ok())
            return false;
    }
    const auto started = command("SPEAK", m_limits.reply);
    if (!started || started->code != 230)
        return false;
    const auto deadline = steady_clock::now() + m_limits.reply;
    if (!send(body(text) + "\r\n.\r\n", deadline)) {
        close();
        return false;
    }
    const auto queued = reply(deadline);
    return queued && queued->ok();
}

bool SpeechDispatcher::cancel() {
    if (!isConnected())
        return true;
    const auto cancelled = command("CANCEL SELF", m_limits.reply);
    return cancelled && cancelled->ok();
}

void SpeechDispatcher::leave() {
    if (isConnected() && !m_awaitingReply)
        send("CANCEL SELF\r\n", steady_clock::now());
    close();
}

QByteArray SpeechDispatcher::body(const QString& text) {
    QString normalised = text;
    normalised.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n').remove(QChar(0));
    QByteArrayList lines;
    for (const QString& line : normalised.split(u'\n')) {
        QByteArray bytes = line.toUtf8();
        if (bytes.startsWith('.'))
            bytes.prepend('.');
        lines << bytes;
    }
    return lines.join("\r\n");
}

std::optional<SpeechDispatcher::Reply> SpeechDispatcher::command(const QByteArray& line,
                                                                 milliseconds limit) {
    if (!isConnected())
        return std::nullopt;
    const auto deadline = steady_clock::now() + limit;
    if (!send(line + "\r\n", deadline)) {
        close();
        return std::nullopt;
    }
    return reply(deadline);
}

std::optional<SpeechDispatcher::Reply> SpeechDispatcher::reply(Deadline deadline) {
    Reply result;
    qsizetype size = 0;
    while (true) {
        const auto next = line(deadline);
        const bool wellFormed = next && next->size() >= 4 && isDigit(next->at(0)) &&
                                isDigit(next->at(1)) && isDigit(next->at(2)) &&
                                (next->at(3) == '-' || next->at(3) == ' ');
        size += next ? next->size() : 0;
        if (!wellFormed || size > maxReply) {
            close();
            return std::nullopt;
        }
        const int code = next->left(3).toInt();
        // Event notifications are off for this client; any that come are not replies.
        if (code >= 700)
            continue;
        if (next->at(3) == '-') {
            result.lines << next->mid(4);
            continue;
        }
        result.code = code;
        m_awaitingReply = false;
        return result;
    }
}

bool SpeechDispatcher::send(const QByteArray& bytes, Deadline deadline) {
    m_awaitingReply = true;
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && wait(POLLOUT, deadline))
            continue;
        else
            return false;
    }
    return true;
}

std::optional<QByteArray> SpeechDispatcher::line(Deadline deadline) {
    while (true) {
        const qsizetype end = m_buffer.indexOf('\n', m_consumed);
        if (end >= 0) {
            QByteArray result = m_buffer.mid(m_consumed, end - m_consumed);
            m_consumed = end + 1;
            if (result.endsWith('\r'))
                result.chop(1);
            return result;
        }
        // Lines are taken by moving past them, so a long reply is not shifted once per line.
        m_buffer.remove(0, m_consumed);
        m_consumed = 0;
        if (m_buffer.size() > maxLine || !wait(POLLIN, deadline))
            return std::nullopt;
        char chunk[16384];
        const ssize_t n = ::recv(m_fd, chunk, sizeof(chunk), MSG_DONTWAIT);
        if (n > 0)
            m_buffer.append(chunk, n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            return std::nullopt;
    }
}

bool SpeechDispatcher::wait(short events, Deadline deadline) {
    while (true) {
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fds[2] = {{m_fd, events, 0}, {m_interruptFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_interruptFd >= 0 ? 2 : 1, int(left.count()) + 1);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        if (m_interruptFd >= 0 && fds[1].revents)
            return false;
        if (fds[0].revents)
            return true;
    }
}

bool SpeechDispatcher::interrupted() const {
    if (m_interruptFd < 0)
        return false;
    pollfd fd{m_interruptFd, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
}

} // namespace tivela
