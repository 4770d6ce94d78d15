#pragma once

#include "core/SpeechBackend.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPromise>
#include <QStringList>

#include <memory>

namespace tivela::test {

// A synthesiser that records what it is asked to do. Its voice list arrives at once, or,
// while `holding` is set, only when release() hands it over.
class FakeSpeech final : public SpeechBackend {
public:
    explicit FakeSpeech(QList<Voices::Voice> voices = {})
        : list(std::move(voices)) {}

    QFuture<QList<Voices::Voice>> voices() override;
    void speak(const QString& text, const Voices::Voice& voice) override;
    void stop() override;
    std::optional<QString> defaultVoice(const QString& code,
                                        const QList<Voices::Voice>& voices) const override;

    // Hands the current list to every reading still held.
    void release();

    QList<Voices::Voice> list;
    bool holding = false;
    // When set, the platform's default voice for every language; else the usual rule.
    std::optional<QString> platformDefault;
    // "stop" and "speak IDENTIFIER: TEXT", in the order asked.
    QStringList calls;
    int readings = 0;

private:
    QList<std::shared_ptr<QPromise<QList<Voices::Voice>>>> m_held;
};

// A voice record in one line.
Voices::Voice voice(const QString& identifier, const QString& language, int quality = 1,
                    bool novelty = false);

// Runs the event loop until the condition holds or the time is up; whether it holds.
template <typename Condition>
bool spinUntil(Condition done, int timeoutMs = 5000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

} // namespace tivela::test
