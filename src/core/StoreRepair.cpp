// What the store does with a file that is not a usable database, and with files of its kind
// that are not the one it writes to.
#include "core/Store.h"
#include "core/StoreQuery.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// The SQLite result code families that mean the file is not a database, or a damaged one.
bool meansUnusable(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// "tivela-damaged-2026-12-09-171920.sqlite" beside "tivela.sqlite", never an existing name.
QString keptName(const QString& path) {
    const QFileInfo info(path);
    const QString stem = info.completeBaseName() + u"-damaged-"_s +
                         QDateTime::currentDateTime().toString(u"yyyy-MM-dd-HHmmss"_s);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    QString kept = info.dir().filePath(stem + suffix);
    for (int n = 2; QFileInfo::exists(kept) || QFileInfo(kept).isSymLink(); ++n)
        kept = info.dir().filePath(stem + u'-' + QString::number(n) + suffix);
    return kept;
}

} // namespace

bool Store::isUsable() {
    Query check(m_db, "PRAGMA quick_check");
    if (!check.next())
        return !meansUnusable(check.status());
    if (check.text(0) != u"ok")
        return false;
    check.run();
    return !meansUnusable(check.status());
}

std::optional<QString> Store::setAsideIfUnusable() {
    QMutexLocker locker(&m_lock);
    if (!m_db || isUsable())
        return std::nullopt;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    const QString kept = keptName(m_path);
    // A log and its index belong to the main file they were written with. They go first: once
    // the main file has gone, another program's connection starts a fresh store on the path,
    // with a log of its own that must stay.
    QStringList movedLogs;
    for (const QString& suffix : {u"-wal"_s, u"-shm"_s})
        if (QFileInfo::exists(m_path + suffix) && QFile::rename(m_path + suffix, kept + suffix))
            movedLogs << suffix;
    const bool moved = QFile::rename(m_path, kept);
    if (!moved)
        for (const QString& suffix : std::as_const(movedLogs))
            QFile::rename(kept + suffix, m_path + suffix);
    open();
    return moved ? std::optional(kept) : std::nullopt;
}

bool Store::foldLog(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_busy_timeout(db, busyTimeoutMs);
    // Only a connection that has read the log checkpoints and deletes it when it closes.
    const bool folded =
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    return sqlite3_close(db) == SQLITE_OK && folded;
}

bool Store::isIntact(const QString& path) {
    sqlite3* db = nullptr;
    bool intact = false;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_busy_timeout(db, busyTimeoutMs);
        Query check(db, "PRAGMA integrity_check");
        intact = check.next() && check.text(0) == u"ok" && !check.next() && check.done();
    }
    sqlite3_close_v2(db);
    return intact;
}

} // namespace tivela
