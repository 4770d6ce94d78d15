#include "support/StoreLock.h"

#include "support/TestWorld.h"

#include <QFile>

#include <sqlite3.h>

#include <cstdio>

#include <poll.h>
#include <unistd.h>

namespace tivela::test {

// Args: the database path and how many milliseconds to hold its lock. Any input, or its end,
// lets go early.
TIVELA_TEST_HELPER(holdStoreLock) {
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(args.value(0)).constData(), &db) != SQLITE_OK)
        return 2;
    sqlite3_busy_timeout(db, 10000);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return 3;
    std::printf("locked\n");
    std::fflush(stdout);
    pollfd input{STDIN_FILENO, POLLIN, 0};
    ::poll(&input, 1, args.value(1).toInt());
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return 0;
}

StoreLock::StoreLock(const QString& path, int milliseconds)
    : m_helper(
          startHelper(QStringLiteral("holdStoreLock"), {path, QString::number(milliseconds)})) {
    m_taken = m_helper->waitForReadyRead(20000) && m_helper->readLine().trimmed() == "locked";
}

StoreLock::~StoreLock() {
    release();
}

bool StoreLock::isHeld() const {
    return m_taken && m_helper->state() == QProcess::Running;
}

void StoreLock::release() {
    if (m_helper->state() == QProcess::NotRunning)
        return;
    m_helper->closeWriteChannel();
    if (!m_helper->waitForFinished(10000)) {
        m_helper->kill();
        m_helper->waitForFinished(5000);
    }
}

} // namespace tivela::test
