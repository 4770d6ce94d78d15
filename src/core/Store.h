#pragma once

#include "core/Json.h"

#include <QLatin1StringView>
#include <QList>
#include <QRecursiveMutex>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <utility>

struct sqlite3;

namespace tivela {

// One history row or phrasebook card. Times are seconds since 1970.
struct Item {
    QString id;
    QString text;
    QString translation;
    QString from;
    QString to;
    double created = 0;
    // The card's box, 0 to 5; 0 for history rows.
    int box = 0;
    // When the card is next due; 0 for history rows and new cards (due at once).
    double due = 0;
    // Where the item was made: the application's own, or what the browser extension says.
    QString origin = appOrigin;

    // The origin of the items the application makes, as stored since the first release.
    static constexpr QLatin1StringView appOrigin{"mac"};

    friend bool operator==(const Item&, const Item&) = default;
};

size_t qHash(const Item& item, size_t seed = 0);

QJsonObject toJson(const Item& item);
template <>
std::optional<Item> fromJson<Item>(const QJsonObject& object);

// The user's history, phrasebook and flash-card state in one SQLite file, which the
// application and the bridge host open at the same time. Any thread may call any operation.
//
// A store that cannot open its file is inert: reads give nothing and writes fail. Writes
// report false (or nothing) when the database refused them, and lastError() tells why; a write
// that matched no row still succeeded.
class Store {
public:
    static constexpr int historyLimit = 500;
    // How long a statement waits for another connection's write lock.
    static constexpr int busyTimeoutMs = 3000;
    // SQLite's file lock is not fair: a process writing back to back can keep another waiting
    // for as long as its burst lasts. A program that answers a failed write as failed (the
    // bridge host) waits this long before it does.
    static constexpr int burstTimeoutMs = 10000;
    // Days until a card in each box is due again, indexed by box.
    static constexpr std::array<double, 6> intervals{0, 1, 3, 7, 16, 35};
    static constexpr int maxBox = int(intervals.size()) - 1;

    // The current time in seconds since 1970, as items keep it.
    static double now();
    // The browser may send any integer, and older rows may hold one; the box indexes the
    // interval table.
    static int clampBox(qint64 box);

    // The store on Paths::database(), opened on first use.
    static Store& shared();

    // Why the last write of this store failed, in SQLite's terms; for a store that one thread
    // writes through.
    struct Error {
        // SQLite's extended result code; SQLITE_OK (0) when the last write succeeded.
        int code = 0;
        QString message;

        // The write found the database locked by another connection and gave up waiting.
        bool isBusy() const;
    };

    // Told on the writing thread around each commit of a write transaction: just before it
    // begins, and as soon as it has landed where every connection reads it (true) or has
    // failed (false). A reader on another connection learns from them which commits a read of
    // its own holds: those settled when it began, as long as none begins while it runs.
    struct CommitWatch {
        std::function<void()> beginning;
        std::function<void(bool landed)> settled;
    };

    // Opens or creates the database file at path. A statement that meets another connection's
    // write lock waits up to busyTimeout milliseconds.
    explicit Store(const QString& path, int busyTimeout = busyTimeoutMs);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    const QString& path() const { return m_path; }
    Error lastError() const;
    // From now on a statement gives up at once when it meets a lock, whichever thread runs it;
    // for leaving without waiting out another program.
    void stopWaiting() { m_stopWaiting = true; }

    // When the file opens but is not a usable database (not a database at all, or damaged),
    // moves it aside under a dated name beside it and starts a fresh one in its place; the
    // kept file's path. A database merely locked or unreadable for now is left as it is.
    std::optional<QString> setAsideIfUnusable();
    // Before the store's first write.
    void watchCommits(CommitWatch watch) { m_watch = std::move(watch); }

    // Replaces any earlier row with the same text and direction, then keeps the newest
    // historyLimit rows.
    bool addHistory(const Item& item);
    // Whether the item's text or translation contains search literally, ASCII letters in any
    // case: the rule of every search of the store, for rows that are not in it yet too.
    static bool matches(const Item& item, const QString& search);
    // Rows that match search, newest first, at most limit.
    QList<Item> history(const QString& search, int limit) const;
    bool deleteHistory(const QString& id);
    bool clearHistory();

    // Live cards that match search, newest first.
    QList<Item> phrases(const QString& search) const;
    // The number of live cards, without reading them.
    int phraseCount() const;
    // The live card with exactly this text and direction.
    std::optional<Item> phrase(const QString& text, const QString& from, const QString& to) const;
    // Stores the item as a live card; when a live card with the same text and direction exists
    // only its translation changes. Returns the card as stored.
    std::optional<Item> addPhrase(const Item& item);
    // Marks the card deleted; the row stays, and adding a card with its id revives it.
    bool deletePhrase(const QString& id);

    // Live cards due at or before now, earliest first; equal times newest-created first.
    QList<Item> dueCards(double now) const;
    // Known: the next box, due after that box's interval. Not known: box 1, due in a minute.
    bool answer(const QString& id, bool knew, double now);
    // The card as such an answer leaves it.
    static Item answered(Item card, bool knew, double now);

    // Opens the database at path and closes it again, which folds its write-ahead log into the
    // main file and removes the log and its index. False when no checkpoint could be made.
    static bool foldLog(const QString& path);
    // Whether the database at path passes SQLite's full integrity check.
    static bool isIntact(const QString& path);
    // When this store holds no row at all, not even a deleted card, copies every history row
    // and card of the database at path into it, in one transaction. False when this store had
    // rows of its own or the copy failed; this store is then as it was.
    bool adoptRowsOf(const QString& path);

private:
    class Query;

    void open();
    // Reopens the path when it no longer names the file this connection opened (another
    // program moved a damaged file aside and started a fresh one): what is written from then on
    // lands where every other program reads. Writes look every time, reads at most once a
    // second.
    void followPath(bool writing) const;
    // Whether the path names the file this connection opened.
    bool namesOpenedFile() const;
    // Whether the open database reads as one: false only when SQLite says it is not a database
    // or is damaged.
    bool isUsable();
    template <typename Body>
    bool transaction(Body&& body);
    bool commit();
    void settleCommit(bool landed);
    bool execute(const char* sql);
    void noteError();
    static int onBusy(void* store, int attempts);
    static int onLogWritten(void* store, sqlite3* db, const char* name, int frames);

    QString m_path;
    int m_busyTimeout;
    // Mutable for followPath(), which reads may call: a reopened connection is the same store.
    mutable sqlite3* m_db = nullptr;
    // The device and inode of the file m_db opened, when it was found.
    mutable std::optional<std::pair<quint64, quint64>> m_opened;
    // When a read last compared them with the path, in milliseconds of the monotonic clock.
    mutable qint64 m_followedAt = 0;
    mutable QRecursiveMutex m_lock;
    Error m_lastError;
    std::atomic<bool> m_stopWaiting = false;
    // When the current wait for a lock began, in milliseconds of the monotonic clock.
    qint64 m_waitStarted = 0;
    CommitWatch m_watch;
    // A transaction's commit has begun and the watch has not been told how it ended.
    bool m_committing = false;
};

} // namespace tivela
