#include "core/Store.h"
#include "core/StoreQuery.h"

#include "core/JsonFields.h"
#include "core/Paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
#include <QJsonValue>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr double secondsPerDay = 86400;
constexpr double retryDelay = 60;
// A waiting statement looks at the lock again at least this often.
constexpr int longestBusySleepMs = 10;
// How stale a read may be about the file its path names.
constexpr qint64 followReadsEveryMs = 1000;
// The log's length in pages at which a commit folds it into the main file, as SQLite's own
// automatic checkpoint does; a log hook of our own replaces that one.
constexpr int checkpointPages = 1000;

constexpr const char* schema = R"(
CREATE TABLE IF NOT EXISTS history(
    id TEXT PRIMARY KEY,
    text TEXT NOT NULL,
    translation TEXT NOT NULL,
    src TEXT NOT NULL,
    dst TEXT NOT NULL,
    created REAL NOT NULL,
    origin TEXT NOT NULL DEFAULT 'mac');
CREATE INDEX IF NOT EXISTS history_created ON history(created);
CREATE TABLE IF NOT EXISTS phrase(
    id TEXT PRIMARY KEY,
    text TEXT NOT NULL,
    translation TEXT NOT NULL,
    src TEXT NOT NULL,
    dst TEXT NOT NULL,
    created REAL NOT NULL,
    box INTEGER NOT NULL DEFAULT 0,
    due REAL NOT NULL DEFAULT 0,
    origin TEXT NOT NULL DEFAULT 'mac',
    deleted INTEGER NOT NULL DEFAULT 0,
    updated REAL NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS phrase_key ON phrase(text, src, dst);
)";

constexpr const char* phraseColumns =
    "SELECT id, text, translation, src, dst, created, box, due, origin FROM phrase ";
constexpr const char* livePhraseByKey =
    "WHERE deleted = 0 AND text = ? AND src = ? AND dst = ? LIMIT 1";

// The search's one condition, on the columns text and translation, with the pattern of
// containsPattern() as parameter 1.
constexpr const char* searchCondition =
    "(text LIKE ?1 ESCAPE '\\' OR translation LIKE ?1 ESCAPE '\\')";

// Searches match literally: "50%" must not find "500".
QString containsPattern(const QString& search) {
    QString pattern = u"%"_s;
    for (const QChar c : search) {
        if (c == u'\\' || c == u'%' || c == u'_')
            pattern += u'\\';
        pattern += c;
    }
    pattern += u'%';
    return pattern;
}

// The device and inode the path names now; nothing when it names no file.
std::optional<std::pair<quint64, quint64>> identity(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return std::pair{quint64(status.st_dev), quint64(status.st_ino)};
}

qint64 monotonicMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A connection of the calling thread's own without tables, for the search condition on rows
// that are not in a database; none when SQLite cannot open one.
sqlite3* scratchConnection() {
    struct Connection {
        Connection() {
            if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
                sqlite3_close(db);
                db = nullptr;
            }
        }
        ~Connection() { sqlite3_close(db); }
        sqlite3* db = nullptr;
    };
    thread_local Connection connection;
    return connection.db;
}

} // namespace

double Store::now() {
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000;
}

int Store::clampBox(qint64 box) {
    return int(std::clamp<qint64>(box, 0, maxBox));
}

size_t qHash(const Item& item, size_t seed) {
    return qHashMulti(seed, item.id, item.text, item.translation, item.from, item.to, item.created,
                      item.box, item.due, item.origin);
}

QJsonObject toJson(const Item& item) {
    return QJsonObject{
        {u"id"_s, item.id},     {u"text"_s, item.text}, {u"translation"_s, item.translation},
        {u"from"_s, item.from}, {u"to"_s, item.to},     {u"created"_s, item.created},
        {u"box"_s, item.box},   {u"due"_s, item.due},   {u"origin"_s, item.origin}};
}

template <>
std::optional<Item> fromJson<Item>(const QJsonObject& object) {
    JsonFields read(object);
    Item item{read.requiredString("id"_L1),          read.requiredString("text"_L1),
              read.requiredString("translation"_L1), read.requiredString("from"_L1),
              read.requiredString("to"_L1),          read.requiredNumber("created"_L1)};
    const double box = read.requiredNumber("box"_L1);
    const bool whole = std::trunc(box) == box && std::abs(box) <= std::numeric_limits<int>::max();
    item.box = read.ok() && whole ? int(box) : 0;
    item.due = read.requiredNumber("due"_L1);
    item.origin = read.requiredString("origin"_L1);
    return read.ok() && whole ? std::optional(item) : std::nullopt;
}

Store& Store::shared() {
    static Store store(Paths::database());
    return store;
}

bool Store::Error::isBusy() const {
    const int primary = code & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

Store::Store(const QString& path, int busyTimeout)
    : m_path(path)
    , m_busyTimeout(busyTimeout) {
    open();
}

Store::~Store() {
    sqlite3_close_v2(m_db);
}

void Store::open() {
    if (m_path.isEmpty())
        return; // SQLite would open a private temporary database that vanishes on close.
    m_opened.reset();
    m_followedAt = monotonicMilliseconds();
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(QFile::encodeName(m_path).constData(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return;
    }
    m_db = db;
    m_opened = identity(m_path);
    sqlite3_busy_handler(m_db, &Store::onBusy, this);
    sqlite3_wal_hook(m_db, &Store::onLogWritten, this);
    execute("PRAGMA journal_mode=WAL");
    execute(schema);
}

bool Store::namesOpenedFile() const {
    const auto now = identity(m_path);
    return now && now == m_opened;
}

void Store::followPath(bool writing) const {
    if (m_path.isEmpty())
        return;
    const qint64 now = monotonicMilliseconds();
    if (!writing && now - m_followedAt < followReadsEveryMs)
        return;
    m_followedAt = now;
    // A path that names no file for the moment gets a fresh one: the program that moved the
    // old one aside starts its new store on the same path, so both meet there.
    if (m_db && namesOpenedFile())
        return;
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    const_cast<Store*>(this)->open();
}

// The busy timeout's wait, with a way out: stopWaiting() ends it at the next look.
int Store::onBusy(void* opaque, int attempts) {
    auto* store = static_cast<Store*>(opaque);
    const qint64 now = monotonicMilliseconds();
    if (attempts == 0)
        store->m_waitStarted = now;
    const qint64 waited = now - store->m_waitStarted;
    if (store->m_stopWaiting || waited >= store->m_busyTimeout)
        return 0;
    const qint64 sleep = std::min<qint64>(
        {qint64(1) << std::min(attempts, 4), longestBusySleepMs, store->m_busyTimeout - waited});
    sqlite3_sleep(int(sleep));
    return 1;
}

// Called once a commit has landed in the log, before the statement returns: the watch hears of
// it then, and not after the checkpoint, which may take a while.
int Store::onLogWritten(void* opaque, sqlite3* db, const char* name, int frames) {
    static_cast<Store*>(opaque)->settleCommit(true);
    if (frames >= checkpointPages)
        sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
}

Store::Error Store::lastError() const {
    QMutexLocker locker(&m_lock);
    return m_lastError;
}

void Store::noteError() {
    if (!m_db) {
        m_lastError = {SQLITE_CANTOPEN, u"the database could not be opened"_s};
        return;
    }
    m_lastError = {sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db))};
}

bool Store::adoptRowsOf(const QString& path) {
    QMutexLocker locker(&m_lock);
    if (!Query(m_db, "ATTACH DATABASE ? AS earlier").bind(path).run()) {
        noteError();
        return false;
    }
    const bool adopted = transaction([&] {
        Query count(m_db, "SELECT (SELECT COUNT(*) FROM main.history) + "
                          "(SELECT COUNT(*) FROM main.phrase)");
        if (!count.next() || count.integer(0) != 0)
            return false;
        return Query(m_db, "INSERT INTO main.history(id, text, translation, src, dst, created, "
                           "origin) SELECT id, text, translation, src, dst, created, origin "
                           "FROM earlier.history")
                   .run() &&
               Query(m_db, "INSERT INTO main.phrase(id, text, translation, src, dst, created, box, "
                           "due, origin, deleted, updated) SELECT id, text, translation, src, "
                           "dst, created, box, due, origin, deleted, updated FROM earlier.phrase")
                   .run();
    });
    execute("DETACH DATABASE earlier");
    return adopted;
}

// A commit that wrote nothing to the log, or one without a log (another journal mode), is told
// of once the statement returns.
bool Store::commit() {
    if (m_watch.beginning)
        m_watch.beginning();
    m_committing = true;
    const bool committed = execute("COMMIT");
    settleCommit(committed);
    return committed;
}

void Store::settleCommit(bool landed) {
    if (std::exchange(m_committing, false) && m_watch.settled)
        m_watch.settled(landed);
}

bool Store::execute(const char* sql) {
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Runs body as one write transaction. BEGIN IMMEDIATE takes the write lock up front, so
// another process cannot slip in between a look-up and the write that depends on it, and the
// busy timeout applies to that wait. Why a failed one failed is kept for lastError().
template <typename Body>
bool Store::transaction(Body&& body) {
    QMutexLocker locker(&m_lock);
    const auto begin = [this] {
        followPath(true);
        if (execute("BEGIN IMMEDIATE"))
            return true;
        noteError();
        return false;
    };
    if (!begin())
        return false;
    // The file may have been moved aside while the lock was waited for.
    if (!namesOpenedFile()) {
        execute("ROLLBACK");
        if (!begin())
            return false;
    }
    if (body() && commit()) {
        m_lastError = {};
        return true;
    }
    noteError();
    if (!sqlite3_get_autocommit(m_db))
        execute("ROLLBACK");
    return false;
}

bool Store::addHistory(const Item& item) {
    return transaction([&] {
        return Query(m_db, "DELETE FROM history WHERE text = ? AND src = ? AND dst = ?")
                   .bind(item.text)
                   .bind(item.from)
                   .bind(item.to)
                   .run() &&
               Query(m_db, "INSERT OR REPLACE INTO history(id, text, translation, src, dst, "
                           "created, origin) VALUES(?,?,?,?,?,?,?)")
                   .bind(item.id)
                   .bind(item.text)
                   .bind(item.translation)
                   .bind(item.from)
                   .bind(item.to)
                   .bind(item.created)
                   .bind(item.origin)
                   .run() &&
               Query(m_db, "DELETE FROM history WHERE id NOT IN "
                           "(SELECT id FROM history ORDER BY created DESC LIMIT ?)")
                   .bind(qint64(historyLimit))
                   .run();
    });
}

bool Store::matches(const Item& item, const QString& search) {
    Query query(scratchConnection(),
                QByteArray("SELECT 1 FROM (SELECT ?2 AS text, ?3 AS translation) WHERE ") +
                    searchCondition);
    return query.bind(containsPattern(search)).bind(item.text).bind(item.translation).next();
}

QList<Item> Store::history(const QString& search, int limit) const {
    QMutexLocker locker(&m_lock);
    followPath(false);
    const QString pattern = containsPattern(search);
    return Query(m_db, QByteArray("SELECT id, text, translation, src, dst, created, origin "
                                  "FROM history WHERE ") +
                           searchCondition + " ORDER BY created DESC LIMIT ?2")
        .bind(pattern)
        .bind(qint64(std::max(limit, 0)))
        .items(false);
}

bool Store::deleteHistory(const QString& id) {
    return transaction(
        [&] { return Query(m_db, "DELETE FROM history WHERE id = ?").bind(id).run(); });
}

bool Store::clearHistory() {
    return transaction([&] { return Query(m_db, "DELETE FROM history").run(); });
}

QList<Item> Store::phrases(const QString& search) const {
    QMutexLocker locker(&m_lock);
    followPath(false);
    const QString pattern = containsPattern(search);
    return Query(m_db, QByteArray(phraseColumns) + "WHERE deleted = 0 AND " + searchCondition +
                           " ORDER BY created DESC")
        .bind(pattern)
        .items(true);
}

int Store::phraseCount() const {
    QMutexLocker locker(&m_lock);
    followPath(false);
    Query count(m_db, "SELECT COUNT(*) FROM phrase WHERE deleted = 0");
    return count.next() ? int(count.integer(0)) : 0;
}

std::optional<Item> Store::phrase(const QString& text, const QString& from,
                                  const QString& to) const {
    QMutexLocker locker(&m_lock);
    followPath(false);
    Query query(m_db, QByteArray(phraseColumns) + livePhraseByKey);
    query.bind(text).bind(from).bind(to);
    return query.next() ? std::optional(query.item(true)) : std::nullopt;
}

std::optional<Item> Store::addPhrase(const Item& item) {
    Item stored = item;
    const bool ok = transaction([&] {
        std::optional<Item> existing;
        {
            Query query(m_db, QByteArray(phraseColumns) + livePhraseByKey);
            query.bind(item.text).bind(item.from).bind(item.to);
            if (query.next())
                existing = query.item(true);
            else if (!query.done())
                return false;
        }
        if (existing) {
            stored = *existing;
            stored.translation = item.translation;
            return Query(m_db, "UPDATE phrase SET translation = ?, updated = ? WHERE id = ?")
                .bind(item.translation)
                .bind(Store::now())
                .bind(existing->id)
                .run();
        }
        stored.box = Store::clampBox(item.box);
        return Query(m_db, "INSERT OR REPLACE INTO phrase(id, text, translation, src, dst, "
                           "created, box, due, origin, deleted, updated) "
                           "VALUES(?,?,?,?,?,?,?,?,?,0,?)")
            .bind(stored.id)
            .bind(stored.text)
            .bind(stored.translation)
            .bind(stored.from)
            .bind(stored.to)
            .bind(stored.created)
            .bind(qint64(stored.box))
            .bind(stored.due)
            .bind(stored.origin)
            .bind(Store::now())
            .run();
    });
    return ok ? std::optional(stored) : std::nullopt;
}

bool Store::deletePhrase(const QString& id) {
    return transaction([&] {
        return Query(m_db, "UPDATE phrase SET deleted = 1, updated = ? WHERE id = ?")
            .bind(Store::now())
            .bind(id)
            .run();
    });
}

QList<Item> Store::dueCards(double now) const {
    QMutexLocker locker(&m_lock);
    followPath(false);
    return Query(m_db, QByteArray(phraseColumns) +
                           "WHERE deleted = 0 AND due <= ? ORDER BY due ASC, created DESC")
        .bind(now)
        .items(true);
}

Item Store::answered(Item card, bool knew, double now) {
    card.box = knew ? std::min(Store::clampBox(card.box) + 1, maxBox) : 1;
    card.due = now + (knew ? intervals[size_t(card.box)] * secondsPerDay : retryDelay);
    return card;
}

bool Store::answer(const QString& id, bool knew, double now) {
    return transaction([&] {
        Item card;
        {
            Query query(m_db, "SELECT box FROM phrase WHERE deleted = 0 AND id = ?");
            query.bind(id);
            if (!query.next())
                return query.done(); // no live card: nothing to answer
            card.box = Store::clampBox(query.integer(0));
        }
        card = answered(card, knew, now);
        return Query(m_db, "UPDATE phrase SET box = ?, due = ?, updated = ? WHERE id = ?")
            .bind(qint64(card.box))
            .bind(card.due)
            .bind(now)
            .bind(id)
            .run();
    });
}

} // namespace tivela
