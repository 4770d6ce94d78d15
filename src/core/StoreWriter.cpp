#include "core/StoreWriter.h"

#include <QMetaObject>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// A write that meets a lock waits the store's busy timeout; one refused as busy without that
// wait (SQLite does so to break a deadlock) tries again after this pause.
constexpr std::chrono::milliseconds retryPause{10};
// After a flush's time is up: how long the writes left may take to be tried once more.
constexpr std::chrono::milliseconds lastTry{1000};

bool sameKey(const Item& a, const Item& b) {
    return a.text == b.text && a.from == b.from && a.to == b.to;
}

// Newest first, as the store orders its reads; a new item goes before others of its time.
void insertByCreated(QList<Item>& items, const Item& item) {
    const auto at = std::find_if(items.begin(), items.end(),
                                 [&](const Item& other) { return other.created <= item.created; });
    items.insert(at, item);
}

void removeId(QList<Item>& items, const QString& id) {
    items.removeIf([&](const Item& item) { return item.id == id; });
}

} // namespace

bool StoreWrite::changesHistory() const {
    return kind == Kind::addHistory || kind == Kind::deleteHistory || kind == Kind::clearHistory;
}

bool StoreWrite::changesPhrases() const {
    return !changesHistory();
}

bool StoreWrite::run(Store& store) const {
    switch (kind) {
    case Kind::addHistory:
        return store.addHistory(item);
    case Kind::deleteHistory:
        return store.deleteHistory(item.id);
    case Kind::clearHistory:
        return store.clearHistory();
    case Kind::addPhrase:
        return store.addPhrase(item).has_value();
    case Kind::deletePhrase:
        return store.deletePhrase(item.id);
    case Kind::answer:
        return store.answer(item.id, knew, now);
    }
    return false;
}

WriteResult WriteResult::of(const Store::Error& error) {
    switch (error.code & 0xff) {
    case SQLITE_OK:
        return {};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {Status::abandoned, error.message};
    case SQLITE_FULL:
        return {Status::diskFull, error.message};
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        return {Status::readOnly, error.message};
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return {Status::damaged, error.message};
    default:
        return {Status::failed, error.message};
    }
}

StoreWriter::StoreWriter(Store& reads, QObject* parent)
    : QObject(parent)
    , m_reads(reads)
    , m_setAside(reads.setAsideIfUnusable())
    , m_store(std::make_unique<Store>(reads.path())) {
    m_store->watchCommits(
        {[this] { commitBeginning(); }, [this](bool landed) { commitSettled(landed); }});
    m_thread = QThread::create([this] { work(); });
    m_thread->setObjectName(u"store writer"_s);
    m_thread->start();
}

StoreWriter::~StoreWriter() {
    {
        const std::lock_guard locker(m_mutex);
        m_stopWaiting = true;
        m_ending = true;
        m_store->stopWaiting();
    }
    m_changed.notify_all();
    m_thread->wait();
    delete m_thread;
    // Nobody is told any more; whoever waits on a future learns what became of it.
    for (Job& job : m_done) {
        job.promise->addResult(job.result);
        job.promise->finish();
    }
}

QFuture<WriteResult> StoreWriter::write(const StoreWrite& write) {
    Job job{++m_next, write, std::make_shared<QPromise<WriteResult>>(), {}};
    job.promise->start();
    QFuture<WriteResult> future = job.promise->future();
    m_pending.push_back(job);
    {
        const std::lock_guard locker(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_changed.notify_all();
    return future;
}

QFuture<WriteResult> StoreWriter::addHistory(const Item& row) {
    return write({StoreWrite::Kind::addHistory, row});
}

QFuture<WriteResult> StoreWriter::deleteHistory(const Item& row) {
    return write({StoreWrite::Kind::deleteHistory, row});
}

QFuture<WriteResult> StoreWriter::clearHistory() {
    return write({StoreWrite::Kind::clearHistory, {}});
}

QFuture<WriteResult> StoreWriter::addPhrase(const Item& card) {
    return write({StoreWrite::Kind::addPhrase, card});
}

QFuture<WriteResult> StoreWriter::deletePhrase(const Item& card) {
    return write({StoreWrite::Kind::deletePhrase, card});
}

QFuture<WriteResult> StoreWriter::answer(const Item& card, bool knew, double now) {
    return write({StoreWrite::Kind::answer, card, knew, now});
}

QList<StoreWrite> StoreWriter::pending() const {
    QList<StoreWrite> writes;
    for (const Job& job : m_pending)
        writes << job.write;
    return writes;
}

QSet<quint64> StoreWriter::refusedUndelivered() const {
    const std::lock_guard locker(m_mutex);
    QSet<quint64> numbers;
    for (const Job& job : m_done)
        if (!job.result.ok())
            numbers.insert(job.number);
    return numbers;
}

// A write applied twice counts twice (an answer moves its card two boxes): each must be either
// in the read or applied to it. Which are in it is known only when none landed while it ran, so
// no commit begins during a read, and one under way lands first: the read holds exactly the
// writes counted as carried out when it begins.
template <typename Read>
auto StoreWriter::readAhead(Read read) const {
    quint64 landed = 0;
    {
        std::unique_lock locker(m_mutex);
        m_changed.wait(locker, [this] { return !m_committing; });
        ++m_reading;
        landed = m_carriedOut;
    }
    auto rows = read();
    {
        const std::lock_guard locker(m_mutex);
        --m_reading;
    }
    m_changed.notify_all();
    // A refused write stays shown until its news takes it back, as it would had the thread
    // been slower.
    const QSet<quint64> refused = refusedUndelivered();
    QList<StoreWrite> writes;
    for (const Job& job : m_pending)
        if (job.number > landed || refused.contains(job.number))
            writes << job.write;
    return std::pair{std::move(rows), writes};
}

QList<Item> StoreWriter::history(const QString& search, int limit) const {
    auto [rows, writes] = readAhead([&] { return m_reads.history(search, limit); });
    if (std::none_of(writes.cbegin(), writes.cend(),
                     [](const StoreWrite& write) { return write.changesHistory(); }))
        return rows;
    return applyToHistory(std::move(rows), writes, search, limit);
}

QList<Item> StoreWriter::phrases(const QString& search) const {
    auto [cards, writes] = readAhead([&] { return m_reads.phrases(search); });
    if (std::none_of(writes.cbegin(), writes.cend(),
                     [](const StoreWrite& write) { return write.changesPhrases(); }))
        return cards;
    return applyToPhrases(std::move(cards), writes, search, m_reads);
}

// Counting needs no card read, unless a change of the phrasebook is still on its way.
int StoreWriter::phraseCount() const {
    auto [count, writes] = readAhead([&] { return m_reads.phraseCount(); });
    if (std::none_of(writes.cbegin(), writes.cend(),
                     [](const StoreWrite& write) { return write.changesPhrases(); }))
        return count;
    return int(phrases(QString()).size());
}

void StoreWriter::flush(int milliseconds) {
    {
        std::unique_lock locker(m_mutex);
        const auto idle = [this] { return m_queue.empty() && m_working == 0; };
        if (!m_changed.wait_for(locker, std::chrono::milliseconds(std::max(milliseconds, 0)),
                                idle)) {
            m_stopWaiting = true;
            m_store->stopWaiting();
            m_changed.notify_all();
            m_changed.wait_for(locker, lastTry, idle);
        }
    }
    deliver();
}

void StoreWriter::work() {
    std::unique_lock locker(m_mutex);
    for (;;) {
        m_changed.wait(locker, [this] { return !m_queue.empty() || m_ending; });
        if (m_queue.empty())
            return;
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        m_working = job.number;
        const std::function<void()> hook = m_carriedOutHook;
        locker.unlock();
        job.result = carryOut(job.write);
        if (hook)
            hook();
        locker.lock();
        m_working = 0;
        m_carriedOut = job.number;
        m_done.push_back(std::move(job));
        m_changed.notify_all();
        QMetaObject::invokeMethod(this, &StoreWriter::deliver, Qt::QueuedConnection);
    }
}

WriteResult StoreWriter::carryOut(const StoreWrite& write) {
    for (;;) {
        if (write.run(*m_store))
            return {};
        const Store::Error error = m_store->lastError();
        if (!error.isBusy())
            return WriteResult::of(error);
        std::unique_lock locker(m_mutex);
        if (m_changed.wait_for(locker, retryPause, [this] { return m_stopWaiting; }))
            return WriteResult::of(error);
    }
}

void StoreWriter::setCarriedOutHook(std::function<void()> hook) {
    const std::lock_guard locker(m_mutex);
    m_carriedOutHook = std::move(hook);
}

// The thread's store holds the write lock meanwhile: another program waits for the read too.
void StoreWriter::commitBeginning() {
    std::unique_lock locker(m_mutex);
    m_changed.wait(locker, [this] { return m_reading == 0; });
    m_committing = true;
}

void StoreWriter::commitSettled(bool landed) {
    {
        const std::lock_guard locker(m_mutex);
        m_committing = false;
        if (landed)
            m_carriedOut = m_working;
    }
    m_changed.notify_all();
}

void StoreWriter::deliver() {
    std::deque<Job> done;
    {
        const std::lock_guard locker(m_mutex);
        done.swap(m_done);
    }
    for (Job& job : done) {
        std::erase_if(m_pending, [&](const Job& waiting) { return waiting.number == job.number; });
        job.promise->addResult(job.result);
        job.promise->finish();
        Q_EMIT finished(job.write, job.result);
    }
}

QList<Item> StoreWriter::applyToHistory(QList<Item> rows, const QList<StoreWrite>& writes,
                                        const QString& search, int limit) {
    for (const StoreWrite& write : writes) {
        switch (write.kind) {
        case StoreWrite::Kind::addHistory:
            rows.removeIf([&](const Item& row) {
                return row.id == write.item.id || sameKey(row, write.item);
            });
            if (Store::matches(write.item, search))
                insertByCreated(rows, write.item);
            break;
        case StoreWrite::Kind::deleteHistory:
            removeId(rows, write.item.id);
            break;
        case StoreWrite::Kind::clearHistory:
            rows.clear();
            break;
        default:
            break;
        }
    }
    if (rows.size() > std::max(limit, 0))
        rows.resize(std::max(limit, 0));
    return rows;
}

QList<Item> StoreWriter::applyToPhrases(QList<Item> cards, const QList<StoreWrite>& writes,
                                        const QString& search, const Store& reads) {
    for (const StoreWrite& write : writes) {
        switch (write.kind) {
        case StoreWrite::Kind::addPhrase: {
            const auto shown = std::find_if(cards.begin(), cards.end(), [&](const Item& card) {
                return sameKey(card, write.item);
            });
            Item card = write.item;
            card.box = Store::clampBox(card.box);
            if (shown != cards.end()) {
                card = *shown;
                cards.erase(shown);
            } else if (const auto stored =
                           reads.phrase(write.item.text, write.item.from, write.item.to)) {
                card = *stored;
            } else {
                removeId(cards, write.item.id);
            }
            card.translation = write.item.translation;
            if (Store::matches(card, search))
                insertByCreated(cards, card);
            break;
        }
        case StoreWrite::Kind::deletePhrase:
            removeId(cards, write.item.id);
            break;
        case StoreWrite::Kind::answer:
            for (Item& card : cards)
                if (card.id == write.item.id)
                    card = Store::answered(card, write.knew, write.now);
            break;
        default:
            break;
        }
    }
    return cards;
}

} // namespace tivela
