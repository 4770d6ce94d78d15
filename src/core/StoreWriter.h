#pragma once

#include "core/Store.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QPromise>
#include <QSet>
#include <QString>
#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tivela {

// One change to the store, as the writer carries it out and as the lists show it meanwhile.
struct StoreWrite {
    enum class Kind { addHistory, deleteHistory, clearHistory, addPhrase, deletePhrase, answer };

    Kind kind = Kind::addHistory;
    // The row or card added, deleted or answered; nothing for clearing the history.
    Item item;
    bool knew = false;
    // The time of an answer, seconds since 1970.
    double now = 0;

    bool changesHistory() const;
    bool changesPhrases() const;
    // Carries the write out; false when the store refused it (see Store::lastError()).
    bool run(Store& store) const;
};

// What became of a write.
struct WriteResult {
    enum class Status {
        written,
        // The disk (or the file system's quota) is full.
        diskFull,
        // The file or its folder cannot be written.
        readOnly,
        // The file is not a database, or a damaged one.
        damaged,
        // Any other refusal (an input/output error, a constraint).
        failed,
        // Still waiting for another program's lock when the writer was told to stop waiting.
        abandoned,
    };

    Status status = Status::written;
    // SQLite's own words.
    QString detail;

    bool ok() const { return status == Status::written; }
    // The status of a store's error; a lock met is no failure of its own.
    static WriteResult of(const Store::Error& error);
};

// The application's one writer of the store: a thread of its own with a connection of its own,
// so that no write waits on the main thread. Writes are carried out one after another in the
// order they were handed over; a write that meets another program's lock waits and tries
// again until it lands. Each write's future finishes on the owner's thread, after finished()
// told of it.
//
// Reads go through the owner's store on the owner's thread, with the writes still on their
// way applied, so the lists show a change at once and take it back only when it fails.
//
// The writer looks after the file too: one that opens but is not a usable database is moved
// aside when the writer starts, and the store begins afresh.
class StoreWriter : public QObject {
    Q_OBJECT

public:
    // Writes to the file of `reads` (which outlives the writer) through a connection of its own.
    explicit StoreWriter(Store& reads, QObject* parent = nullptr);
    // Writes what can be written without waiting for a lock, gives up the rest, and ends the
    // thread.
    ~StoreWriter() override;

    // Where the damaged file the writer found went; nothing when the file was fine.
    const std::optional<QString>& setAside() const { return m_setAside; }

    QFuture<WriteResult> write(const StoreWrite& write);
    QFuture<WriteResult> addHistory(const Item& row);
    QFuture<WriteResult> deleteHistory(const Item& row);
    QFuture<WriteResult> clearHistory();
    QFuture<WriteResult> addPhrase(const Item& card);
    QFuture<WriteResult> deletePhrase(const Item& card);
    QFuture<WriteResult> answer(const Item& card, bool knew, double now);

    // Handed over and not finished yet, in order.
    QList<StoreWrite> pending() const;
    // The store's reads with the writes applied that it does not hold yet: a write the thread
    // has carried out is in the read, though it is pending until its news comes. A read waits
    // for a commit under way to land, and no commit begins while it runs; in the store's
    // write-ahead log a commit that has begun waits for no other program.
    QList<Item> history(const QString& search, int limit) const;
    QList<Item> phrases(const QString& search) const;
    int phraseCount() const;

    // Called on the thread after each write it carried out, before the owner can hear of it;
    // for tests that hold the thread there.
    void setCarriedOutHook(std::function<void()> hook);

    // Waits at most this long for every write handed over to finish; then tries each one left
    // once more without waiting for a lock, and gives up those that would have to. Every write
    // has finished when it returns, and finished() has told of each.
    void flush(int milliseconds);

    // The rows of a history read, and the cards of a phrasebook read, as they will be once
    // these writes land. `reads` answers for cards the read left out.
    static QList<Item> applyToHistory(QList<Item> rows, const QList<StoreWrite>& writes,
                                      const QString& search, int limit);
    static QList<Item> applyToPhrases(QList<Item> cards, const QList<StoreWrite>& writes,
                                      const QString& search, const Store& reads);

Q_SIGNALS:
    // A write landed, failed or was given up.
    void finished(const tivela::StoreWrite& write, const tivela::WriteResult& result);

private:
    struct Job {
        quint64 number = 0;
        StoreWrite write;
        std::shared_ptr<QPromise<WriteResult>> promise;
        WriteResult result;
    };

    void work();
    WriteResult carryOut(const StoreWrite& write);
    void commitBeginning();
    void commitSettled(bool landed);
    // Finishes, on the owner's thread, the jobs the thread is done with.
    void deliver();
    // The jobs carried out and refused whose news is still on its way.
    QSet<quint64> refusedUndelivered() const;
    // A read, and the pending writes it does not hold.
    template <typename Read>
    auto readAhead(Read read) const;

    Store& m_reads;
    std::optional<QString> m_setAside;
    // Written only by the thread; stopWaiting() from any.
    std::unique_ptr<Store> m_store;
    QThread* m_thread = nullptr;

    // Standard locks, which ThreadSanitizer sees through, unlike Qt's.
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<Job> m_queue;
    std::deque<Job> m_done;
    // The number of the job the thread is carrying out, taken from the queue; 0 when none.
    quint64 m_working = 0;
    // The number of the last job the thread carried out, counted from the moment its commit
    // landed; jobs are carried out in order.
    quint64 m_carriedOut = 0;
    // The thread's store is committing the write of the job it is carrying out.
    bool m_committing = false;
    // Reads of the owner's thread under way, during which no commit begins.
    mutable int m_reading = 0;
    std::function<void()> m_carriedOutHook;
    // Every write from now on is tried once, without waiting for a lock.
    bool m_stopWaiting = false;
    bool m_ending = false;

    // The owner's thread's view: handed over and not yet delivered.
    std::deque<Job> m_pending;
    quint64 m_next = 0;
};

} // namespace tivela
