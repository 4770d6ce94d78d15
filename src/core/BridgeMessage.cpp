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

} // namespace

std::optional<QJsonObject> read(int fd) {
    quint32 length = 0;
    if (!readFully(fd, reinterpret_cast<char*>(&length), sizeof length))
        return std::nullopt;
    if (length == 0 || length >= maxLength)
        return std::nullopt;
    QByteArray body(qsizetype(length), Qt::Uninitialized);
    if (!readFully(fd, body.data(), length))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
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
