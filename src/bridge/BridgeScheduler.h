#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>

namespace tivela {

// Where the host's requests run. A translation holds its thread for as long as the engine
// takes with its texts, so translations have a bounded lane of their own and a page of them
// never keeps a "hello", the phrasebook or a lookup waiting; a lookup waiting for its packs
// holds no thread at all. Speech runs on this object's thread in the order it came, once the
// first voice list is in or its wait is over.
class BridgeScheduler : public QObject {
public:
    enum class Lane { quick, slow, speech };
    using Work = std::function<void()>;

    // The lane of a request's "type".
    static Lane lane(const QString& type);

    // `voices` is asked, at the first speech work, for the voice list to wait for.
    explicit BridgeScheduler(std::function<QFuture<void>()> voices);
    // Waits for the work running in the lanes.
    ~BridgeScheduler() override;

    // Any thread may call it.
    void run(Lane lane, Work work);

private:
    void queueSpeech(Work work);
    void speakQueued();

    const std::function<QFuture<void>()> m_voices;
    QList<Work> m_speechQueue;
    bool m_speechReady = false;
    std::unique_ptr<QFutureWatcher<void>> m_voicesWatcher;
    // Bounds the wait for the first voice list, so that speech in the first seconds finds the
    // voices and a daemon that never answers holds nobody for long.
    QTimer m_voicesDeadline;
    QThreadPool m_quick;
    QThreadPool m_slow;
};

} // namespace tivela
