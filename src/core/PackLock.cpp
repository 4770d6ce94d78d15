#include "core/PackLock.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tivela {
namespace {

struct FileId {
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const FileId&, const FileId&) = default;
};

// The lock's own entry, never what a symbolic link in its place points to.
std::optional<struct stat> statusOf(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

std::optional<FileId> idOf(const QString& path) {
    const auto status = statusOf(path);
    if (!status)
        return std::nullopt;
    return FileId{status->st_dev, status->st_ino};
}

// Removes a lock only while it is still the one we know: a lock another process created in
// its place is left alone. A symbolic link goes itself, an empty folder too. False when it
// could not be removed.
bool removeIfSame(const QString& path, const FileId& id) {
    const auto current = statusOf(path);
    if (!current || FileId{current->st_dev, current->st_ino} != id)
        return true;
    const QByteArray name = QFile::encodeName(path);
    const int removed =
        S_ISDIR(current->st_mode) ? ::rmdir(name.constData()) : ::unlink(name.constData());
    return removed == 0 || errno == ENOENT;
}

// The lock files this process holds. A plain exit() in the middle of a download destroys
// nothing, and Qt may already be half gone when exit handlers run, so the handler removes them
// with system calls alone. Never destroyed, for the same reason.
class HeldLocks {
public:
    static HeldLocks& instance() {
        static HeldLocks* const locks = new HeldLocks;
        return *locks;
    }

    // Creates a lock file with this content and holds it, in one step under the list's lock, so
    // that an exit cannot come between and leave the file behind. 0, or the creation's error.
    int create(const QByteArray& path, const QByteArray& content, int* fd, FileId* id) {
        std::lock_guard guard(m_mutex);
        const int created = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (created < 0)
            return errno;
        ::fchmod(created, 0644);
        struct stat status {};
        if (::write(created, content.constData(), size_t(content.size())) != content.size() ||
            ::fstat(created, &status) != 0) {
            ::close(created);
            ::unlink(path.constData());
            return EIO;
        }
        *fd = created;
        *id = FileId{status.st_dev, status.st_ino};
        m_locks.push_back({path.toStdString(), *id});
        return 0;
    }

    void drop(const QByteArray& path) {
        std::lock_guard guard(m_mutex);
        std::erase_if(m_locks, [&](const Held& held) { return held.path == path.toStdString(); });
    }

    // Removes every held lock. A download thread holds the list only for an instant, so a
    // short bounded wait for it is enough; past that the stale rules clean up.
    void releaseAll() {
        std::unique_lock guard(m_mutex, std::defer_lock);
        for (int attempt = 0; attempt < 200 && !guard.try_lock(); ++attempt)
            ::usleep(1000);
        if (!guard.owns_lock())
            return;
        for (const Held& held : m_locks) {
            struct stat status {};
            if (::lstat(held.path.c_str(), &status) == 0 && status.st_dev == held.id.device &&
                status.st_ino == held.id.inode)
                ::unlink(held.path.c_str());
        }
        m_locks.clear();
    }

private:
    struct Held {
        std::string path;
        FileId id;
    };

    HeldLocks() { std::atexit(&HeldLocks::releaseAtExit); }

    static void releaseAtExit() { instance().releaseAll(); }

    std::mutex m_mutex;
    std::vector<Held> m_locks;
};

// A decimal process id as a lock holds it; nothing for text that is no positive 32-bit number
// (0 and negative ids would address process groups).
std::optional<pid_t> processId(const QByteArray& content) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(utf8(content)).trimmed();
    if (utf8.hasError() || text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value <= 0 || value > INT_MAX)
        return std::nullopt;
    return pid_t(value);
}

} // namespace

PackLock::PackLock(QString path)
    : m_path(std::move(path)) {
}

PackLock::~PackLock() {
    release();
}

PackLock::Result PackLock::take() {
    if (isHeld())
        return Result::Taken;
    FileId id;
    const int error = HeldLocks::instance().create(
        QFile::encodeName(m_path), QByteArray::number(qint64(::getpid())), &m_fd, &id);
    if (error != 0)
        return error == EEXIST ? Result::Busy : Result::Failed;
    m_device = id.device;
    m_inode = id.inode;
    m_refreshed.start();
    return Result::Taken;
}

PackLock::Result PackLock::takeOver() {
    const auto holder = idOf(m_path);
    if (holder && isStale(m_path) && !removeIfSame(m_path, *holder))
        return Result::Failed;
    // The holder gave up, or its stale lock is gone.
    if (!holder || !idOf(m_path))
        return take();
    return Result::Busy;
}

void PackLock::refresh() {
    if (isHeld() && m_refreshed.elapsed() >= 1000) {
        ::futimens(m_fd, nullptr);
        m_refreshed.restart();
    }
}

void PackLock::release() {
    if (!isHeld())
        return;
    removeIfSame(m_path, FileId{m_device, m_inode});
    ::close(m_fd);
    m_fd = -1;
    HeldLocks::instance().drop(QFile::encodeName(m_path));
}

bool PackLock::isStale(const QString& path) {
    const auto status = statusOf(path);
    if (!status)
        return false;
    // No holder makes anything but a file: a dangling link or a folder would be waited on,
    // or refused, for good.
    if (!S_ISREG(status->st_mode))
        return true;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec - status->st_mtim.tv_sec > staleSeconds)
        return true;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    const auto pid = processId(file.read(64));
    return pid && ::kill(*pid, 0) != 0 && errno == ESRCH;
}

void PackLock::releaseHeld() {
    HeldLocks::instance().releaseAll();
}

} // namespace tivela
