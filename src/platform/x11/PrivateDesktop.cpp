#include "platform/x11/PrivateDesktop.h"

#include "platform/x11/XConnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr int pollMilliseconds = 10;
constexpr int stopMilliseconds = 2000;

// The standard session configuration names service folders, and a bus with them starts real
// desktop services (portals, notification daemons) on the first call that names them.
constexpr const char* busConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// Reads one line from a descriptor before a deadline; empty on timeout or end of input.
QByteArray readLine(int fd, QDeadlineTimer deadline) {
    QByteArray line;
    while (!line.endsWith('\n')) {
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return {};
        line.append(buffer, got);
    }
    return line.trimmed();
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~Pipe() {
        closeWrite();
        if (read >= 0)
            ::close(read);
    }
    void closeWrite() {
        if (write >= 0)
            ::close(write);
        write = -1;
    }
};

} // namespace

PrivateDesktop::PrivateDesktop() = default;

PrivateDesktop::~PrivateDesktop() {
    stop();
}

std::vector<pid_t> PrivateDesktop::processes() const {
    std::vector<pid_t> pids;
    for (const Child& child : m_children)
        if (!child.reaped)
            pids.push_back(child.pid);
    return pids;
}

bool PrivateDesktop::isInside() {
    const QByteArray marker = qgetenv(markerVariable);
    return !marker.isEmpty() && marker == qgetenv("DISPLAY");
}

bool PrivateDesktop::start(const Options& options) {
    stop();
    m_error.clear();
    m_folder = std::make_unique<QTemporaryDir>();
    if (!m_folder->isValid())
        return fail(u"cannot create a temporary folder"_s);
    if (options.display) {
        if (!startDisplay(options) || !startWindowManager())
            return false;
        if (options.tray && !startTray())
            return false;
    }
    if (options.bus && !startBus())
        return false;
    return true;
}

bool PrivateDesktop::fail(const QString& message) {
    stop();
    m_error = message;
    return false;
}

pid_t PrivateDesktop::spawn(const QString& name, const QStringList& args, int keepFd) {
    const QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        return -1;
    // Everything the child needs is made before the fork: after it only async-signal-safe
    // calls are allowed.
    QList<QByteArray> argStorage{QFile::encodeName(path)};
    for (const QString& arg : args)
        argStorage.append(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : argStorage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    QList<QByteArray> envStorage;
    for (char** entry = environ; *entry; ++entry) {
        const QByteArray variable(*entry);
        if (!variable.startsWith("DISPLAY=") && !variable.startsWith("WAYLAND_DISPLAY="))
            envStorage.append(variable);
    }
    if (!m_display.isEmpty())
        envStorage.append("DISPLAY=" + m_display.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& variable : envStorage)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::setpgid(0, 0);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
        }
        if (keepFd >= 0) {
            ::fcntl(keepFd, F_SETFD, 0);
            if (keepFd > 3)
                ::close_range(3, keepFd - 1, 0);
            ::close_range(keepFd + 1, ~0U, 0);
        } else {
            ::close_range(3, ~0U, 0);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (devNull >= 0)
        ::close(devNull);
    if (pid > 0)
        m_children.push_back({name, pid});
    return pid;
}

bool PrivateDesktop::alive(Child& child) {
    if (!child.reaped && ::waitpid(child.pid, nullptr, WNOHANG) != 0)
        child.reaped = true;
    return !child.reaped;
}

bool PrivateDesktop::startDisplay(const Options& options) {
    Pipe pipe;
    if (pipe.read < 0)
        return fail(u"cannot create a pipe"_s);
    const QString screen = u"%1x%2x24"_s.arg(options.width).arg(options.height);
    const pid_t pid = spawn(u"Xvfb"_s,
                            {u"-displayfd"_s, QString::number(pipe.write), u"-nolisten"_s, u"tcp"_s,
                             u"-noreset"_s, u"-screen"_s, u"0"_s, screen},
                            pipe.write);
    if (pid < 0)
        return fail(u"Xvfb is not installed"_s);
    pipe.closeWrite();
    const QByteArray number = readLine(pipe.read, QDeadlineTimer(startMilliseconds));
    bool isNumber = false;
    number.toInt(&isNumber);
    if (!isNumber)
        return fail(u"Xvfb gave no display number"_s);
    m_display = u':' + QString::fromLatin1(number);
    return true;
}

bool PrivateDesktop::startWindowManager() {
    if (spawn(u"openbox"_s, {u"--sm-disable"_s}) < 0)
        return fail(u"openbox is not installed"_s);
    XConnection connection(m_display.toLocal8Bit());
    const xcb_atom_t check = connection.atom("_NET_SUPPORTING_WM_CHECK");
    const QDeadlineTimer deadline(startMilliseconds);
    bool up = false;
    while (connection.isValid() && !up && !deadline.hasExpired() && alive(m_children.back())) {
        // The window manager's own window names itself: a stale root property does not.
        const auto child = connection.cardinalProperty(connection.root(), check, XCB_ATOM_WINDOW);
        up = child && connection.cardinalProperty(*child, check, XCB_ATOM_WINDOW) == child;
        if (!up)
            QThread::msleep(pollMilliseconds);
    }
    return up || fail(u"openbox did not start on "_s + m_display);
}

bool PrivateDesktop::startTray() {
    if (spawn(u"trayer"_s, {u"--edge"_s, u"top"_s, u"--align"_s, u"right"_s, u"--widthtype"_s,
                            u"request"_s, u"--height"_s, u"24"_s}) < 0)
        return fail(u"trayer is not installed"_s);
    XConnection connection(m_display.toLocal8Bit());
    const xcb_atom_t selection = connection.atom("_NET_SYSTEM_TRAY_S0");
    const QDeadlineTimer deadline(startMilliseconds);
    bool up = false;
    while (connection.isValid() && !up && !deadline.hasExpired() && alive(m_children.back())) {
        const XReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
            connection.get(), xcb_get_selection_owner(connection.get(), selection), nullptr));
        up = reply && reply->owner != XCB_WINDOW_NONE;
        if (!up)
            QThread::msleep(pollMilliseconds);
    }
    return up || fail(u"trayer did not take the tray on "_s + m_display);
}

bool PrivateDesktop::startBus() {
    const QString configPath = m_folder->filePath(u"bus.conf"_s);
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(QString::fromLatin1(busConfig).arg(m_folder->path()).toUtf8()) < 0)
        return fail(u"cannot write the bus configuration"_s);
    config.close();
    Pipe pipe;
    if (pipe.read < 0)
        return fail(u"cannot create a pipe"_s);
    const pid_t pid = spawn(u"dbus-daemon"_s,
                            {u"--config-file="_s + configPath, u"--nofork"_s,
                             u"--print-address="_s + QString::number(pipe.write)},
                            pipe.write);
    if (pid < 0)
        return fail(u"dbus-daemon is not installed"_s);
    pipe.closeWrite();
    const QByteArray address = readLine(pipe.read, QDeadlineTimer(startMilliseconds));
    if (address.isEmpty())
        return fail(u"dbus-daemon gave no address"_s);
    m_busAddress = QString::fromLocal8Bit(address);
    return true;
}

void PrivateDesktop::stop() {
    // The bus and the tray first, the X server last: clients see their server go only after
    // they have gone themselves.
    while (!m_children.empty()) {
        const Child child = m_children.back();
        m_children.pop_back();
        if (child.reaped)
            continue;
        ::kill(child.pid, SIGTERM);
        const QDeadlineTimer deadline(stopMilliseconds);
        pid_t done = 0;
        while ((done = ::waitpid(child.pid, nullptr, WNOHANG)) == 0 && !deadline.hasExpired())
            QThread::msleep(pollMilliseconds);
        if (done == 0) {
            ::kill(child.pid, SIGKILL);
            ::waitpid(child.pid, nullptr, 0);
        }
    }
    m_display.clear();
    m_busAddress.clear();
    m_folder.reset();
}

QProcessEnvironment PrivateDesktop::environment(QProcessEnvironment base) const {
    if (!m_display.isEmpty()) {
        base.insert(u"DISPLAY"_s, m_display);
        base.insert(QString::fromLatin1(markerVariable), m_display);
        base.remove(u"WAYLAND_DISPLAY"_s);
    }
    if (!m_busAddress.isEmpty())
        base.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_busAddress);
    return base;
}

void PrivateDesktop::enter() const {
    if (!m_display.isEmpty()) {
        qputenv("DISPLAY", m_display.toLocal8Bit());
        qputenv(markerVariable, m_display.toLocal8Bit());
        qunsetenv("WAYLAND_DISPLAY");
    }
    if (!m_busAddress.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toLocal8Bit());
}

} // namespace tivela
