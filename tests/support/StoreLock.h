#pragma once

#include <QProcess>
#include <QString>

#include <memory>

namespace tivela::test {

// Another program holding a store's write lock, as a person's second program or a stuck
// backup might: a helper process that takes it with BEGIN IMMEDIATE and lets go after the
// given time, or at once when told.
class StoreLock {
public:
    // Returns once the helper holds the lock (see isHeld()).
    StoreLock(const QString& path, int milliseconds);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // The helper took the lock and has not let go of it yet.
    bool isHeld() const;
    // Lets go now and waits for the helper to end.
    void release();

private:
    std::unique_ptr<QProcess> m_helper;
    bool m_taken = false;
};

} // namespace tivela::test
