#pragma once

#include <QElapsedTimer>
#include <QString>

#include <sys/types.h>

namespace tivela {

// The lock file beside a pack ("de.lex.gz.lock") that lets one process at a time fetch it. It is
// made exclusively and holds the holder's process id; a live holder touches it at least once a
// second, so a lock untouched for staleSeconds, or naming a process that is gone, may be removed
// by anyone. Locks this process holds are removed at its exit, also by a plain exit() in the
// middle of a download. One object is one attempt at one lock, used on one thread.
class PackLock {
public:
    static constexpr int staleSeconds = 300;

    enum class Result { Taken, Busy, Failed };

    explicit PackLock(QString path);
    // Releases the lock when held.
    ~PackLock();
    PackLock(const PackLock&) = delete;
    PackLock& operator=(const PackLock&) = delete;

    const QString& path() const { return m_path; }
    bool isHeld() const { return m_fd >= 0; }

    // Makes the lock file: Busy when another holds it, Failed for any other error.
    Result take();
    // A waiter's turn: removes a stale lock, then takes the lock if nobody holds it. Failed
    // when a stale lock cannot be removed or the file cannot be made.
    Result takeOver();
    // Keeps a held lock young, touching it at most once a second.
    void refresh();
    // Removes the file, unless another process's lock has taken its place.
    void release();

    // Whether a lock file may be removed by anyone.
    static bool isStale(const QString& path);
    // Removes the lock files this process holds, with system calls alone, for a process that
    // is about to end without running its exit handlers.
    static void releaseHeld();

private:
    const QString m_path;
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    QElapsedTimer m_refreshed;
};

} // namespace tivela
