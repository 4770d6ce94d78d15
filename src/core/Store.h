#pragma once

#include "core/Json.h"

#include <QLatin1StringView>
#include <QList>
#include <QRecursiveMutex>
#include <QString>

#include <array>
#include <optional>

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
// report false (or nothing) when the database refused them; a write that matched no row
// still succeeded.
class Store {
public:
    static constexpr int historyLimit = 500;
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

    // Opens or creates the database file at path.
    explicit Store(const QString& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    bool isOpen() const { return m_db != nullptr; }

    // Replaces any earlier row with the same text and direction, then keeps the newest
    // historyLimit rows.
    bool addHistory(const Item& item);
    // Rows whose text or translation contains search (ASCII letters in any case), newest
    // first, at most limit.
    QList<Item> history(const QString& search, int limit) const;
    bool deleteHistory(const QString& id);
    bool clearHistory();

    // Live cards whose text or translation contains search, newest first.
    QList<Item> phrases(const QString& search) const;
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

    // Opens the database at path and closes it again, which folds its write-ahead log into the
    // main file and removes the log and its index. False when no checkpoint could be made.
    static bool foldLog(const QString& path);

private:
    class Query;

    template <typename Body>
    bool transaction(Body&& body);
    bool execute(const char* sql);

    sqlite3* m_db = nullptr;
    mutable QRecursiveMutex m_lock;
};

} // namespace tivela
