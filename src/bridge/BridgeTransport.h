#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>

#include <atomic>
#include <functional>

class QThread;

namespace tivela {

// The host's side of the native-messaging channel: a reader thread takes framed requests off
// one descriptor, and replies go out on another as whole frames, none larger than the browser
// accepts. Requests read but not yet answered are counted; beyond the bound a request is
// refused at once, so that a flood cannot grow without limit while the reader still sees the
// end of input.
class BridgeTransport {
public:
    static constexpr int maxUnanswered = 1024;

    // Answers one request; called exactly once, from any thread.
    using Reply = std::function<void(QJsonObject body)>;
    // Takes each request read, on the reader thread: it hands the work on and returns.
    using Handler = std::function<void(const QJsonObject& request, Reply reply)>;

    // `ended` runs on the reader thread at the end of input or at a frame that ends the
    // channel; the reader stops after it.
    BridgeTransport(int in, int out, Handler handler, std::function<void()> ended);
    BridgeTransport(const BridgeTransport&) = delete;
    BridgeTransport& operator=(const BridgeTransport&) = delete;

    // Starts the reader thread. It runs until the input ends.
    void start();

private:
    void read();
    void send(const QJsonValue& id, QJsonObject body);

    const int m_in;
    const int m_out;
    const Handler m_handler;
    const std::function<void()> m_ended;
    QMutex m_outLock;
    std::atomic<int> m_unanswered = 0;
    QThread* m_reader = nullptr;
};

} // namespace tivela
