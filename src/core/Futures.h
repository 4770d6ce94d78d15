#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

#include <optional>

namespace tivela {

// Calls done with the finished future on the owner's thread. The watcher is the owner's child:
// a result that comes back after the owner is gone finds no one to tell.
template <typename T, typename Done>
void whenFinished(QObject* owner, const QFuture<T>& future, Done done) {
    auto* watcher = new QFutureWatcher<T>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner,
                     [watcher, done = std::move(done)]() mutable {
                         watcher->deleteLater();
                         done(watcher->future());
                     });
    watcher->setFuture(future);
}

// The value of a finished future; nothing when it failed or was cancelled.
template <typename T>
std::optional<T> resultOf(QFuture<T> future) {
    try {
        future.waitForFinished();
        if (future.resultCount() > 0)
            return future.result();
    } catch (...) {
    }
    return std::nullopt;
}

} // namespace tivela
