#include "bridge/BridgeTransport.h"

#include "core/BridgeMessage.h"
#include "core/BridgeWire.h"

#include <QThread>

using namespace Qt::StringLiterals;

namespace tivela {

using namespace BridgeWire;

BridgeTransport::BridgeTransport(int in, int out, Handler handler, std::function<void()> ended)
    : m_in(in)
    , m_out(out)
    , m_handler(std::move(handler))
    , m_ended(std::move(ended)) {
}

void BridgeTransport::start() {
    m_reader = QThread::create([this] { read(); });
    m_reader->start();
}

void BridgeTransport::read() {
    for (;;) {
        const auto request = BridgeMessage::read(m_in);
        if (!request) {
            m_ended();
            return;
        }
        const QJsonValue id = request->value(Key::id);
        if (m_unanswered.fetch_add(1) < maxUnanswered) {
            m_handler(*request, [this, id](QJsonObject body) {
                send(id, std::move(body));
                m_unanswered.fetch_sub(1);
            });
        } else {
            m_unanswered.fetch_sub(1);
            send(id, QJsonObject{{Key::ok, false},
                                 {Key::error, Error::failed},
                                 {Key::message, u"too many requests at once"_s}});
        }
    }
}

void BridgeTransport::send(const QJsonValue& id, QJsonObject body) {
    body.insert(Key::id, id.isUndefined() ? QJsonValue(QJsonValue::Null) : id);
    QByteArray bytes = BridgeMessage::frame(body);
    if (bytes.size() - 4 > maxReplyBytes) {
        QJsonObject tooLarge{
            {Key::ok, false}, {Key::error, Error::failed}, {Key::message, u"reply too large"_s}};
        tooLarge.insert(Key::id, body.value(Key::id));
        bytes = BridgeMessage::frame(tooLarge);
        // Only an absurd id can make even that too large; the browser would drop it.
        if (bytes.size() - 4 > maxReplyBytes) {
            tooLarge.insert(Key::id, QJsonValue::Null);
            bytes = BridgeMessage::frame(tooLarge);
        }
    }
    // A failed write means the browser has gone; the reader then sees the end of input.
    const QMutexLocker locker(&m_outLock);
    BridgeMessage::writeFrame(bytes, m_out);
}

} // namespace tivela
