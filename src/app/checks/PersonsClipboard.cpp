#include "app/checks/PersonsClipboard.h"

#include "platform/x11/XConnection.h"
#include "platform/x11/XSelection.h"

#include <QPromise>

#include <thread>

namespace tivela {
namespace {

std::optional<PersonsClipboard> readNow(const QString& display) {
    if (display.isEmpty())
        return std::nullopt;
    XConnection connection(display.toLocal8Bit());
    if (!connection.isValid())
        return std::nullopt;
    const auto selection = [&connection](const char* name) {
        const xcb_atom_t atom = connection.atom(name);
        return PersonsClipboard::Selection{
            XSelection::owner(connection, atom),
            XSelection::text(connection, atom, QDeadlineTimer(PersonsClipboard::readMilliseconds))};
    };
    PersonsClipboard read;
    read.clipboard = selection("CLIPBOARD");
    read.primary = selection("PRIMARY");
    return read;
}

} // namespace

QFuture<std::optional<PersonsClipboard>> PersonsClipboard::read(const QString& display) {
    QPromise<std::optional<PersonsClipboard>> promise;
    QFuture<std::optional<PersonsClipboard>> future = promise.future();
    promise.start();
    // Not the global pool: the application waits for that one as it ends.
    std::thread([promise = std::move(promise), display]() mutable {
        promise.addResult(readNow(display));
        promise.finish();
    }).detach();
    return future;
}

} // namespace tivela
