#pragma once

#include "core/Voices.h"

#include <QDeadlineTimer>
#include <QFuture>
#include <QList>
#include <QString>

#include <optional>

namespace tivela {

// What the speaker needs of a synthesiser. Every call returns at once: a backend does its
// work elsewhere and in the order of the calls, so the main thread never waits on speech.
class SpeechBackend {
public:
    virtual ~SpeechBackend() = default;

    // Reads the list of voices afresh; the future finishes on the backend's own thread with
    // the list, empty when no synthesiser answered.
    virtual QFuture<QList<Voices::Voice>> voices() = 0;
    // Speaks the text with the voice, after whatever was queued before.
    virtual void speak(const QString& text, const Voices::Voice& voice) = 0;
    // Silences what is being spoken and drops what is waiting to be.
    virtual void stop() = 0;
    // For the end of the process: silences the speech, ends any wait on the synthesiser and
    // drops every call, those to come too, then waits for the backend's thread until the
    // deadline. Whether it ended: work still running would run on into the static teardown.
    virtual bool shutDown(QDeadlineTimer deadline);

    // The platform's own choice of voice for a language among the listed ones.
    virtual std::optional<QString> defaultVoice(const QString& code,
                                                const QList<Voices::Voice>& voices) const;
};

} // namespace tivela
