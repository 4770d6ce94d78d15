#include "platform/engine/ApertiumPipeline.h"

#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace tivela {
namespace {

constexpr qsizetype chunkSize = 64 * 1024;
constexpr qsizetype errorTailSize = 2048;

void closeDescriptor(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The caller's environment with a UTF-8 locale that every system has: the stages read and write
// UTF-8 whatever the session's locale, and a locale that is named but not generated here would
// make some of them abort.
QProcessEnvironment stageEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    return environment;
}

// Starts one stage in the process group `group` (a new group when 0) with the given standard
// descriptors and nothing else open, every signal at its default.
int spawn(const QStringList& command, const QStringList& environment, pid_t group, int input,
          int output, int errors, pid_t* pid) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, group);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);

    const auto encoded = [](const QStringList& strings) {
        QList<QByteArray> bytes;
        for (const QString& string : strings)
            bytes << string.toLocal8Bit();
        return bytes;
    };
    QList<QByteArray> arguments = encoded(command);
    QList<QByteArray> variables = encoded(environment);
    const auto pointers = [](QList<QByteArray>& strings) {
        QList<char*> list;
        for (QByteArray& string : strings)
            list << string.data();
        list << nullptr;
        return list;
    };
    QList<char*> argv = pointers(arguments);
    QList<char*> envp = pointers(variables);

    const int status = posix_spawnp(pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return status;
}

} // namespace

// The script is split here and each stage started by us rather than run through sh. Every
// stage is then our own child in one process group: a stage that ends is seen at once by its
// process id and reaped, its reason read from the shared error output, and a timeout kills the
// whole group. Behind a shell we would see only the shell, which ends when every stage has, so
// a stage that died would go unnoticed while the others wait. And a mode file, read from
// whatever modes folder is configured, never runs more of the shell than a pipeline of
// commands: redirections, substitutions, lists and the like are refused, not interpreted.
std::optional<QList<QStringList>> ApertiumPipeline::stages(const QString& script,
                                                           const QStringList& arguments) {
    QList<QStringList> stages;
    QStringList command;
    QString word;
    bool inWord = false;
    const auto endWord = [&] {
        if (inWord)
            command << word;
        word.clear();
        inWord = false;
    };
    const QString text = script.trimmed();
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text[at];
        const QChar next = at + 1 < text.size() ? text[at + 1] : QChar();
        if (c == u'\'') {
            const qsizetype end = text.indexOf(u'\'', at + 1);
            if (end < 0)
                return std::nullopt;
            word += text.sliced(at + 1, end - at - 1);
            inWord = true;
            at = end;
        } else if (c == u'"') {
            inWord = true;
            for (++at; at < text.size() && text[at] != u'"'; ++at) {
                if (text[at] == u'\\' && at + 1 < text.size() && u"\"\\$`"_s.contains(text[at + 1]))
                    word += text[++at];
                else if (text[at] == u'$' && at + 1 < text.size() && text[at + 1].isDigit())
                    word += arguments.value(text[++at].digitValue() - 1);
                else if (text[at] == u'$' || text[at] == u'`')
                    return std::nullopt;
                else
                    word += text[at];
            }
            if (at >= text.size())
                return std::nullopt;
        } else if (c == u'\\') {
            if (next != u'\n') {
                word += next;
                inWord = true;
            }
            ++at;
        } else if (c == u'$') {
            if (!next.isDigit())
                return std::nullopt;
            // Unquoted: an empty argument leaves no word behind.
            const QString value = arguments.value(next.digitValue() - 1);
            if (!value.isEmpty()) {
                word += value;
                inWord = true;
            }
            ++at;
        } else if (c == u'|') {
            endWord();
            if (command.isEmpty())
                return std::nullopt;
            stages << command;
            command.clear();
        } else if (c == u'\n') {
            endWord();
            // A pipeline may go on after a line break that follows its bar, nothing else may.
            if (!command.isEmpty())
                return std::nullopt;
        } else if (c.isSpace()) {
            endWord();
        } else if (u";&<>()`#"_s.contains(c)) {
            return std::nullopt;
        } else {
            word += c;
            inWord = true;
        }
    }
    endWord();
    if (command.isEmpty())
        return std::nullopt;
    stages << command;
    return stages;
}

std::unique_ptr<ApertiumPipeline> ApertiumPipeline::start(const QString& modeFile, QString* error) {
    const QFileInfo file(modeFile);
    if (!file.isFile() || !file.isReadable()) {
        *error = u"the translation mode %1 cannot be read"_s.arg(modeFile);
        return nullptr;
    }
    QProcess process;
    process.setProcessEnvironment(stageEnvironment());
    process.start(u"apertium-wblank-mode"_s, {u"-z"_s, modeFile});
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
        *error = u"apertium-wblank-mode cannot read %1: %2"_s.arg(
            modeFile, process.error() == QProcess::UnknownError
                          ? QString::fromLocal8Bit(process.readAllStandardError()).trimmed()
                          : process.errorString());
        return nullptr;
    }
    // $1 is the generator's option that leaves unknown words unmarked, $2 the tagger's extra
    // option, none here.
    const auto parsed = stages(QString::fromUtf8(process.readAllStandardOutput()), {u"-n"_s, {}});
    if (!parsed) {
        *error = u"the translation mode %1 is not a plain pipeline"_s.arg(modeFile);
        return nullptr;
    }
    return start(*parsed, error);
}

std::unique_ptr<ApertiumPipeline> ApertiumPipeline::start(const QList<QStringList>& stages,
                                                          QString* error) {
    std::unique_ptr<ApertiumPipeline> pipeline(new ApertiumPipeline);
    // The first stage reads from a socket: a write to a pipeline that died fails with an error
    // instead of raising SIGPIPE in this process.
    int link[2];
    int errors[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, link) != 0) {
        *error = u"cannot connect the translation pipeline: "_s + systemError(errno);
        return nullptr;
    }
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        *error = u"cannot connect the translation pipeline: "_s + systemError(errno);
        ::close(link[0]);
        ::close(link[1]);
        return nullptr;
    }
    pipeline->m_input = link[0];
    pipeline->m_errors = errors[0];
    const QStringList environment = stageEnvironment().toStringList();
    int upstream = link[1];
    for (const QStringList& command : stages) {
        int downstream[2];
        if (::pipe2(downstream, O_CLOEXEC) != 0) {
            *error = u"cannot connect the translation pipeline: "_s + systemError(errno);
            ::close(upstream);
            ::close(errors[1]);
            return nullptr;
        }
        pid_t pid = -1;
        const int status =
            spawn(command, environment, pipeline->m_group > 0 ? pipeline->m_group : 0, upstream,
                  downstream[1], errors[1], &pid);
        ::close(upstream);
        ::close(downstream[1]);
        upstream = downstream[0];
        if (status != 0) {
            *error = u"cannot start %1: %2"_s.arg(command.value(0), systemError(status));
            ::close(upstream);
            ::close(errors[1]);
            return nullptr;
        }
        if (pipeline->m_group <= 0)
            pipeline->m_group = pid;
        pipeline->m_processes << pid;
    }
    ::close(errors[1]);
    pipeline->m_output = upstream;
    if (!setNonBlocking(pipeline->m_input) || !setNonBlocking(pipeline->m_output) ||
        !setNonBlocking(pipeline->m_errors)) {
        *error = u"cannot connect the translation pipeline: "_s + systemError(errno);
        return nullptr;
    }
    return pipeline;
}

ApertiumPipeline::~ApertiumPipeline() {
    stop();
}

void ApertiumPipeline::stop() {
    closeDescriptor(m_input);
    if (m_group > 0)
        ::kill(-m_group, SIGKILL);
    // Killed processes go at once; the bound only guards against one stuck in the kernel.
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    for (const pid_t pid : std::as_const(m_processes)) {
        while (true) {
            const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
            if (reaped == pid || (reaped < 0 && errno != EINTR))
                break;
            if (std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(1ms);
        }
    }
    m_processes.clear();
    m_group = -1;
    closeDescriptor(m_output);
    closeDescriptor(m_errors);
}

void ApertiumPipeline::readErrors() {
    char buffer[4096];
    const ssize_t got = ::read(m_errors, buffer, sizeof buffer);
    if (got > 0)
        m_errorTail = QByteArray(m_errorTail + QByteArray(buffer, got)).right(errorTailSize);
    else if (got == 0 || (errno != EAGAIN && errno != EINTR))
        closeDescriptor(m_errors);
}

QString ApertiumPipeline::failure(const QString& what, std::chrono::milliseconds wait) {
    // A stage that ended says why on its error output, which closes once every stage is gone.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (m_errors >= 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{m_errors, POLLIN, 0};
        if (::poll(&watched, 1, int(std::max<qint64>(left.count(), 0))) <= 0)
            break;
        readErrors();
    }
    const QString detail = QString::fromUtf8(m_errorTail).trimmed().split(u'\n').last().trimmed();
    return detail.isEmpty() ? what : what + u": "_s + detail;
}

std::optional<QString> ApertiumPipeline::endedStage() {
    // A stage's output closes before the system counts it as ended, so its neighbours can end
    // the record first: it is given a moment to be seen.
    const auto deadline = std::chrono::steady_clock::now() + endWait;
    for (;;) {
        for (const pid_t pid : std::as_const(m_processes)) {
            siginfo_t info{};
            // Not reaped here: stop() reaps every stage.
            if (::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == pid) {
                const QString why = failure(u"the translation engine stopped"_s, 200ms);
                stop();
                return why;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
}

std::optional<QList<QByteArray>> ApertiumPipeline::exchange(const QList<QByteArray>& records,
                                                            Deadline deadline, QString* error,
                                                            int interrupt) {
    if (!alive()) {
        *error = u"the translation pipeline is not running"_s;
        return std::nullopt;
    }
    QByteArray outgoing;
    for (const QByteArray& record : records)
        outgoing += record + '\0';
    qsizetype written = 0;
    QList<QByteArray> answers;
    // A pipeline that died has said why by the time its error output closes; one that is stuck
    // has nothing more to say.
    const auto fail = [&](const QString& why, std::chrono::milliseconds waitForReason) {
        *error = failure(why, waitForReason);
        stop();
        return std::optional<QList<QByteArray>>();
    };

    while (true) {
        qsizetype end;
        while (answers.size() < records.size() && (end = m_pending.indexOf('\0')) >= 0) {
            answers << m_pending.left(end);
            m_pending.remove(0, end + 1);
        }
        if (answers.size() == records.size())
            return answers;

        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return fail(u"the translation engine gave no answer in time"_s, 0ms);
        pollfd watched[4] = {{m_output, POLLIN, 0},
                             {m_errors, POLLIN, 0},
                             {interrupt, POLLIN, 0},
                             {m_input, POLLOUT, 0}};
        const nfds_t count = written < outgoing.size() ? 4 : 3;
        if (m_errors < 0)
            watched[1].fd = -1;
        const int ready = ::poll(watched, count, int(std::min<qint64>(left.count(), 60000)));
        if (ready < 0 && errno != EINTR)
            return fail(u"cannot wait for the translation engine: "_s + systemError(errno), 0ms);
        if (ready <= 0)
            continue;
        if (watched[2].revents & (POLLIN | POLLERR | POLLHUP))
            return fail(u"the translation engine was stopped"_s, 0ms);

        if (count == 4 && (watched[3].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const qsizetype size = std::min(chunkSize, outgoing.size() - written);
            const ssize_t sent =
                ::send(m_input, outgoing.constData() + written, size_t(size), MSG_NOSIGNAL);
            if (sent > 0)
                written += sent;
            else if (errno != EAGAIN && errno != EINTR)
                return fail(u"the translation engine stopped reading"_s, 200ms);
        }
        if (watched[1].revents & (POLLIN | POLLHUP | POLLERR))
            readErrors();
        if (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[chunkSize];
            const ssize_t got = ::read(m_output, buffer, sizeof buffer);
            if (got > 0)
                m_pending.append(buffer, got);
            else if (got == 0)
                return fail(u"the translation engine stopped"_s, 200ms);
            else if (errno != EAGAIN && errno != EINTR)
                return fail(u"cannot read the translation engine: "_s + systemError(errno), 0ms);
        }
    }
}

} // namespace tivela
