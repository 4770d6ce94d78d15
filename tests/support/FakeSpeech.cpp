#include "support/FakeSpeech.h"

using namespace Qt::StringLiterals;

namespace tivela::test {

QFuture<QList<Voices::Voice>> FakeSpeech::voices() {
    ++readings;
    auto promise = std::make_shared<QPromise<QList<Voices::Voice>>>();
    promise->start();
    QFuture<QList<Voices::Voice>> future = promise->future();
    m_held << promise;
    if (!holding)
        release();
    return future;
}

void FakeSpeech::release() {
    for (const auto& promise : std::as_const(m_held)) {
        promise->addResult(list);
        promise->finish();
    }
    m_held.clear();
}

void FakeSpeech::speak(const QString& text, const Voices::Voice& voice) {
    calls << u"speak %1: %2"_s.arg(voice.identifier, text);
}

void FakeSpeech::stop() {
    calls << u"stop"_s;
}

std::optional<QString> FakeSpeech::defaultVoice(const QString& code,
                                                const QList<Voices::Voice>& voices) const {
    if (platformDefault)
        return platformDefault;
    return SpeechBackend::defaultVoice(code, voices);
}

Voices::Voice voice(const QString& identifier, const QString& language, int quality, bool novelty) {
    return {identifier, identifier.section(u'/', -1), language, quality, novelty};
}

} // namespace tivela::test
