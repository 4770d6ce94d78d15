#pragma once

#include "core/Store.h"
#include "core/StoreWriter.h"

#include <QObject>

#include <memory>
#include <optional>

namespace tivela {

class Scheduler;

// Hands a translation to the store's writer for the history only once it has stayed on screen
// for a while, so the translations of a text still being typed never reach it: a newer row
// replaces the waiting one and starts the wait again. On the main thread.
class HistoryWriter : public QObject {
    Q_OBJECT

public:
    // The store's writer outlives this one.
    HistoryWriter(std::shared_ptr<Scheduler> scheduler, StoreWriter& writer, int delayMilliseconds,
                  QObject* parent = nullptr);

    // Waits with this row in place of the one waiting.
    void remember(const Item& row);
    // Hands the waiting row over now.
    void flush();

Q_SIGNALS:
    // A row was handed to the store's writer.
    void written();

private:
    void write();

    std::shared_ptr<Scheduler> m_scheduler;
    StoreWriter& m_writer;
    int m_delay;
    // A wait writes only while it is the latest one.
    quint64 m_run = 0;
    std::optional<Item> m_pending;
};

} // namespace tivela
