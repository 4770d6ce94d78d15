#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>

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

} // namespace tivela
