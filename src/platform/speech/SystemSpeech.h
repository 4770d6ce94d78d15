#pragma once

#include "core/SpeechBackend.h"
#include "platform/speech/Espeak.h"
#include "platform/speech/SpeechDispatcher.h"

#include <memory>

namespace tivela {

// The speech a user gets: the speech-dispatcher daemon, else espeak-ng inside the process
// when no daemon answers or it has no voices. Everything that can block (the daemon takes
// about 2 s to start and can stall without a sound device) happens on one worker thread that
// takes the calls from a queue in order; the calls themselves only queue.
class SystemSpeech final : public SpeechBackend {
public:
    struct Options {
        SpeechDispatcher::Limits limits;
        bool autospawn = true;
        // Where the in-process engine's samples go; without a sink they are played.
        Espeak::Sink fallbackSink;
    };

    SystemSpeech();
    explicit SystemSpeech(const Options& options);
    // Returns promptly even while the worker waits on a stalled daemon.
    ~SystemSpeech() override;

    QFuture<QList<Voices::Voice>> voices() override;
    void speak(const QString& text, const Voices::Voice& voice) override;
    void stop() override;
    bool shutDown(QDeadlineTimer deadline) override;

private:
    struct Worker;
    std::unique_ptr<Worker> m_worker;
};

} // namespace tivela
