#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace tivela {

// SIGTERM, SIGINT and SIGHUP end the event loop with status 0 instead of the process, so that
// aboutToQuit runs: the pending history row is written and pack locks are released. The
// handler only writes to a pipe; the loop reads it. One per process.
class SignalPipe : public QObject {
    Q_OBJECT

public:
    explicit SignalPipe(QObject* parent = nullptr);
    ~SignalPipe() override;

private:
    void readSignals();

    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tivela
