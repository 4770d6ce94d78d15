#pragma once

#include <QFuture>
#include <QFutureWatcher>

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTask>

#include <chrono>

namespace tivela {

// Whether a future finished within a bound; the event loop runs meanwhile. A future that
// outlives its bound keeps running, and nobody waits for it.
template <typename T>
QCoro::Task<bool> finishedWithin(QFuture<T> future, std::chrono::milliseconds bound) {
    if (future.isFinished())
        co_return true;
    QFutureWatcher<T> watcher;
    watcher.setFuture(future);
    co_await qCoro(&watcher, &QFutureWatcherBase::finished, bound);
    co_return future.isFinished();
}

} // namespace tivela
