#pragma once

#include "core/DictionaryEntry.h"

#include <QJsonObject>

#include <optional>

namespace tivela {

// The browser's native-messaging frame: a 4-byte length in the machine's byte order, then one
// UTF-8 JSON object. Stateless; concurrent writers to one descriptor serialise themselves.
namespace BridgeMessage {

// Lengths at or above this end the channel: no honest request is that large.
constexpr quint32 maxLength = 1u << 26;

// One frame's object from a blocking descriptor; nothing at end of input, on a refused
// length, a short body, a read error, or a body that is not a JSON object.
std::optional<QJsonObject> read(int fd);
// The first frame of a buffer of bytes received so far, for readers that cannot block.
struct Taken {
    enum class Status {
        // The frame's object, removed from the buffer.
        frame,
        // More bytes are needed; the buffer is left as it is.
        incomplete,
        // What `read` refuses: the channel can give no further frame.
        refused,
    };
    Status status = Status::incomplete;
    QJsonObject object;
};
Taken take(QByteArray& buffer);

// Writes one frame, retrying interrupted and partial writes. False when the channel is gone.
bool write(const QJsonObject& object, int fd);
// The frame of an object, as `write` sends it.
QByteArray frame(const QJsonObject& object);
// Writes a frame made by `frame`, retrying interrupted and partial writes.
bool writeFrame(const QByteArray& frame, int fd);

QJsonObject entryDict(const DictionaryEntry& entry);

} // namespace BridgeMessage

} // namespace tivela
