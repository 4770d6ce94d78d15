#pragma once

#include "core/Voices.h"

#include <QList>
#include <QString>

#include <functional>

namespace tivela {

// espeak-ng inside the process: the voice of last resort when no speech daemon answers.
// The library keeps global state, so one engine at a time may hold it (a second one stays
// unavailable), and all its calls must come from one thread.
class Espeak {
public:
    using Sink = std::function<void(const qint16* samples, int count)>;

    static constexpr auto module = "espeak-ng";

    // Without a sink the engine plays through the sound device; with one it hands over the
    // samples instead, and speaking returns once they all were.
    explicit Espeak(Sink sink = {});
    ~Espeak();
    Espeak(const Espeak&) = delete;
    Espeak& operator=(const Espeak&) = delete;

    // Starts the library on first use; false when it cannot start.
    bool isAvailable();
    QList<Voices::Voice> voices();
    bool speak(const QString& text, const QString& voiceName);
    void cancel();
    // Samples per second of what is spoken, 0 when unavailable.
    int sampleRate();

private:
    Sink m_sink;
    int m_sampleRate = 0;
    bool m_tried = false;
};

} // namespace tivela
