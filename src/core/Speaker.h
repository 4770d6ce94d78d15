#pragma once

#include "core/Voices.h"

#include <QDeadlineTimer>
#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tivela {

class SpeechBackend;

// Reads text aloud: settles the language to speak a text in and the best voice for it, and
// owns the one synthesiser of the process. Used on the main thread only. It never waits for
// the synthesiser: the voice list is cached and refreshed in the background (the first
// reading starts with the speaker), so until it arrives no voice is known and nothing can be
// spoken; ready() and voicesChanged() tell when it arrives.
class Speaker : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct Resolved {
        QString language;
        Voices::Voice voice;
    };

    static constexpr std::chrono::seconds voicesLifetime{60};
    static constexpr int maxSpokenCharacters = 1000;

    explicit Speaker(std::unique_ptr<SpeechBackend> backend, Clock clock = {});
    ~Speaker() override;

    // The cached voice list; when it is missing or 60 s old, a fresh one is asked for and
    // replaces it when it arrives.
    QList<Voices::Voice> systemVoices();
    // Finishes once the first voice list has arrived.
    QFuture<void> ready() const;

    std::optional<Voices::Voice> voice(const QString& code);
    std::optional<Resolved> resolve(const QString& text, const QString& language,
                                    const QStringList& hints);
    bool canSpeak(const QString& text, const QString& language, const QStringList& hints);
    // The codes of the languages with a voice that is not a novelty voice, in menu order.
    QStringList languages();
    // Stops what is being spoken and speaks the first 1000 characters of the trimmed text;
    // false, leaving any speech alone, when no language or voice fits.
    bool speak(const QString& text, const QString& language, const QStringList& hints);
    void stop();
    // For the end of the process: the synthesiser stops for good (see SpeechBackend::shutDown).
    bool shutDown(QDeadlineTimer deadline);

    // The text cut after its first `limit` characters as a reader counts them (whole
    // grapheme clusters, so no accent or emoji is torn apart).
    static QString firstCharacters(const QString& text, int limit);

Q_SIGNALS:
    // A new voice list arrived.
    void voicesChanged();

private:
    void refresh();
    void store(const QList<Voices::Voice>& voices);

    std::unique_ptr<SpeechBackend> m_backend;
    Clock m_clock;
    QList<Voices::Voice> m_voices;
    // The voices that can be chosen, kept apart because most listed voices are novelty ones.
    QList<Voices::Voice> m_usable;
    std::optional<std::chrono::steady_clock::time_point> m_readAt;
    bool m_reading = false;
    std::shared_ptr<QPromise<void>> m_ready;
};

} // namespace tivela
