#include "core/BridgeMessage.h"

#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace tivela::BridgeMessage {
namespace {

// Reads exactly size bytes unless the input ends or fails first; short reads are normal on
// pipes and only mean "read again".
bool readFully(int fd, char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

bool acceptable(quint32 length) {
    return length != 0 && length < maxLength;
}

std::optional<QJsonObject> object(const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace

std::optional<QJsonObject> read(int fd) {
    quint32 length = 0;
    if (!readFully(fd, reinterpret_cast<char*>(&length), sizeof length))
        return std::nullopt;
    if (!acceptable(length))
        return std::nullopt;
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    if (!readFully(fd, body.data(), length))
        return std::nullopt;
    return object(body);
}

Taken take(QByteArray& buffer) {
    quint32 length = 0;
    if (buffer.size() < qsizetype(sizeof length))
        return {};
    memcpy(&length, buffer.constData(), sizeof length);
    if (!acceptable(length))
        return {Taken::Status::refused, {}};
    if (quint32(buffer.size() - qsizetype(sizeof length)) < length)
        return {};
    std::optional<QJsonObject> found = object(buffer.mid(sizeof length, length));
    if (!found)
        return {Taken::Status::refused, {}};
    buffer.remove(0, qsizetype(sizeof length + length));
    return {Taken::Status::frame, *found};
}

QByteArray frame(const QJsonObject& object) {
    const QByteArray body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    const quint32 length = quint32(body.size());
    QByteArray bytes(reinterpret_cast<const char*>(&length), sizeof length);
    bytes += body;
    return bytes;
}

bool write(const QJsonObject& object, int fd) {
    return writeFrame(frame(object), fd);
}

bool writeFrame(const QByteArray& bytes, int fd) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QJsonObject entryDict(const DictionaryEntry& entry) {
    return toJson(entry);
}

} // namespace tivela::BridgeMessage
