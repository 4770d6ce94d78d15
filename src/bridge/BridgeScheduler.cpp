#include "bridge/BridgeScheduler.h"

#include "core/BridgeWire.h"

namespace tivela {

using namespace BridgeWire;

namespace {

constexpr int quickThreads = 16;
// Twice the translator's own threads: each of them may have a request waiting for its answer
// and one judging an answer it has had.
constexpr int slowThreads = 8;
constexpr int voicesWaitMs = 20000;

} // namespace

BridgeScheduler::Lane BridgeScheduler::lane(const QString& type) {
    if (type == Request::translate || type == Request::translateBatch)
        return Lane::slow;
    if (type == Request::voices || type == Request::speak || type == Request::stopSpeaking)
        return Lane::speech;
    return Lane::quick;
}

BridgeScheduler::BridgeScheduler(std::function<QFuture<void>()> voices)
    : m_voices(std::move(voices)) {
    m_quick.setMaxThreadCount(quickThreads);
    m_slow.setMaxThreadCount(slowThreads);
    m_voicesDeadline.setSingleShot(true);
    connect(&m_voicesDeadline, &QTimer::timeout, this, [this] {
        m_speechReady = true;
        speakQueued();
    });
}

BridgeScheduler::~BridgeScheduler() {
    m_slow.waitForDone();
    m_quick.waitForDone();
}

void BridgeScheduler::run(Lane lane, Work work) {
    switch (lane) {
    case Lane::quick:
        m_quick.start(std::move(work));
        return;
    case Lane::slow:
        m_slow.start(std::move(work));
        return;
    case Lane::speech:
        QMetaObject::invokeMethod(
            this, [this, work = std::move(work)] { queueSpeech(work); }, Qt::QueuedConnection);
        return;
    }
}

void BridgeScheduler::queueSpeech(Work work) {
    m_speechQueue.append(std::move(work));
    if (m_speechReady) {
        speakQueued();
        return;
    }
    if (m_voicesWatcher)
        return;
    // The speaker is made on the first speech request, not at start: most conversations
    // never speak, and the speech daemon is not free to start.
    m_voicesWatcher = std::make_unique<QFutureWatcher<void>>();
    connect(m_voicesWatcher.get(), &QFutureWatcher<void>::finished, this, [this] {
        m_speechReady = true;
        m_voicesDeadline.stop();
        speakQueued();
    });
    m_voicesWatcher->setFuture(m_voices());
    m_voicesDeadline.start(voicesWaitMs);
}

void BridgeScheduler::speakQueued() {
    while (!m_speechQueue.isEmpty())
        m_speechQueue.takeFirst()();
}

} // namespace tivela
