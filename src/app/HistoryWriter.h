#pragma once

#include "core/Store.h"

#include <QObject>

#include <memory>
#include <optional>

namespace tivela {

class Scheduler;

// Writes a translation to the history only once it has stayed on screen for a while, so the
// translations of a text still being typed never reach it: a newer row replaces the waiting one
// and starts the wait again. On the main thread.
class HistoryWriter : public QObject {
    Q_OBJECT

public:
    // The store outlives the writer.
    HistoryWriter(std::shared_ptr<Scheduler> scheduler, Store& store, int delayMilliseconds,
                  QObject* parent = nullptr);

    // Waits with this row in place of the one waiting.
    void remember(const Item& row);
    // Writes the waiting row now.
    void flush();

Q_SIGNALS:
    void written();

private:
    void write();

    std::shared_ptr<Scheduler> m_scheduler;
    Store& m_store;
    int m_delay;
    // A wait writes only while it is the latest one.
    quint64 m_run = 0;
    std::optional<Item> m_pending;
};

} // namespace tivela
