#pragma once

#include "app/AppServices.h"

#include <QDeadlineTimer>
#include <QFuture>
#include <QObject>
#include <QString>

#include <optional>

namespace tivela {

class StoreWriter;

// "Translate and Replace with Tivela", which bypasses the model: detects the text's language
// against the saved pair, translates it, and answers by a deadline. Only a translation it
// answered of a text with something to translate (Verbatim) gets a history row, handed to the
// store's writer once the answer is given, so the caller is never kept waiting for the store; a
// translation that comes after the deadline has been answered with the failure is dropped. A row
// that then cannot be written is told of as every failed write is. On the main thread.
class ReplaceService : public QObject {
    Q_OBJECT

public:
    // The writer outlives the service; the deadline runs on the services' scheduler.
    ReplaceService(AppServices services, StoreWriter& writer, QObject* parent = nullptr);

    // The translation, or nothing when there is none by the deadline.
    QFuture<std::optional<QString>> translateReplace(const QString& text, QDeadlineTimer deadline);

private:
    AppServices m_services;
    StoreWriter& m_writer;
};

} // namespace tivela
