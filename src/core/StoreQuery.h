#pragma once

// The store's own statements; only its source files include this.

#include "core/Store.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <sqlite3.h>

#include <memory>

namespace tivela {

struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// One prepared statement, finalised when it goes. Without a connection, or when preparing
// fails, it yields no rows and does not succeed.
class Store::Query {
public:
    Query(sqlite3* db, const QByteArray& sql) {
        sqlite3_stmt* statement = nullptr;
        if (!db) {
            m_status = SQLITE_CANTOPEN;
            return;
        }
        m_status = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement, nullptr);
        if (m_status == SQLITE_OK) {
            m_statement.reset(statement);
            m_status = SQLITE_ROW;
        }
    }

    Query& bind(const QString& value) {
        const QByteArray utf8 = value.toUtf8();
        if (m_statement)
            sqlite3_bind_text(m_statement.get(), ++m_index, utf8.constData(), int(utf8.size()),
                              SQLITE_TRANSIENT);
        return *this;
    }
    Query& bind(double value) {
        if (m_statement)
            sqlite3_bind_double(m_statement.get(), ++m_index, value);
        return *this;
    }
    Query& bind(qint64 value) {
        if (m_statement)
            sqlite3_bind_int64(m_statement.get(), ++m_index, value);
        return *this;
    }

    // Steps to the next row; false at the end or on an error (see done()).
    bool next() {
        if (!m_statement || m_status != SQLITE_ROW)
            return false;
        m_status = sqlite3_step(m_statement.get());
        return m_status == SQLITE_ROW;
    }
    // Whether every row has been stepped through without an error.
    bool done() const { return m_status == SQLITE_DONE; }
    // SQLite's result of preparing or of the last step.
    int status() const { return m_status; }
    bool run() {
        while (next()) {
        }
        return done();
    }

    QString text(int column) const {
        const auto* bytes =
            reinterpret_cast<const char*>(sqlite3_column_text(m_statement.get(), column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement.get(), column));
    }
    double real(int column) const { return sqlite3_column_double(m_statement.get(), column); }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement.get(), column); }

    // The current row in the column order of the history and phrase selects.
    Item item(bool phrase) const {
        Item item{text(0), text(1), text(2), text(3), text(4), real(5)};
        if (phrase) {
            item.box = Store::clampBox(integer(6));
            item.due = real(7);
        }
        item.origin = text(phrase ? 8 : 6);
        return item;
    }

    // Every remaining row; nothing when the statement fails part of the way.
    QList<Item> items(bool phrase) {
        QList<Item> list;
        while (next())
            list << item(phrase);
        return done() ? list : QList<Item>();
    }

private:
    std::unique_ptr<sqlite3_stmt, Finalize> m_statement;
    int m_index = 0;
    // SQLITE_ROW stands for "not stepped to the end yet".
    int m_status = SQLITE_ROW;
};

} // namespace tivela
