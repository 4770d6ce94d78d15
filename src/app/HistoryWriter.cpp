#include "app/HistoryWriter.h"

#include "app/AppServices.h"

#include <utility>

namespace tivela {

HistoryWriter::HistoryWriter(std::shared_ptr<Scheduler> scheduler, StoreWriter& writer,
                             int delayMilliseconds, QObject* parent)
    : QObject(parent)
    , m_scheduler(std::move(scheduler))
    , m_writer(writer)
    , m_delay(delayMilliseconds) {
}

void HistoryWriter::remember(const Item& row) {
    const quint64 run = ++m_run;
    m_pending = row;
    m_scheduler->singleShot(m_delay, this, [this, run] {
        if (run == m_run)
            write();
    });
}

void HistoryWriter::flush() {
    ++m_run;
    write();
}

void HistoryWriter::write() {
    if (!m_pending)
        return;
    const Item row = *std::exchange(m_pending, std::nullopt);
    m_writer.addHistory(row);
    Q_EMIT written();
}

} // namespace tivela
