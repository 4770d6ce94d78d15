#include "core/Speaker.h"

#include "core/Graphemes.h"
#include "core/Languages.h"
#include "core/SpeechBackend.h"

using namespace Qt::StringLiterals;

namespace tivela {

Speaker::Speaker(std::unique_ptr<SpeechBackend> backend, Clock clock)
    : m_backend(std::move(backend))
    , m_clock(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now))
    , m_ready(std::make_shared<QPromise<void>>()) {
    m_ready->start();
    refresh();
}

Speaker::~Speaker() = default;

QList<Voices::Voice> Speaker::systemVoices() {
    if (!m_readAt || m_clock() - *m_readAt >= voicesLifetime)
        refresh();
    return m_voices;
}

QFuture<void> Speaker::ready() const {
    return m_ready->future();
}

void Speaker::refresh() {
    if (m_reading)
        return;
    m_reading = true;
    m_backend->voices().then(this, [this](const QList<Voices::Voice>& voices) { store(voices); });
}

void Speaker::store(const QList<Voices::Voice>& voices) {
    m_reading = false;
    m_voices = voices;
    m_usable.clear();
    for (const Voices::Voice& voice : voices)
        if (!voice.isNovelty)
            m_usable << voice;
    m_readAt = m_clock();
    if (!m_ready->future().isFinished())
        m_ready->finish();
    Q_EMIT voicesChanged();
}

std::optional<Voices::Voice> Speaker::voice(const QString& code) {
    systemVoices();
    return Voices::pick(m_usable, code, m_backend->defaultVoice(code, m_usable));
}

std::optional<Speaker::Resolved> Speaker::resolve(const QString& text, const QString& language,
                                                  const QStringList& hints) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const auto spoken = Voices::speechLanguage(trimmed, language, hints);
    if (!spoken)
        return std::nullopt;
    auto chosen = voice(*spoken);
    if (!chosen)
        return std::nullopt;
    return Resolved{*spoken, std::move(*chosen)};
}

bool Speaker::canSpeak(const QString& text, const QString& language, const QStringList& hints) {
    return resolve(text, language, hints).has_value();
}

QStringList Speaker::languages() {
    systemVoices();
    QStringList codes;
    for (const Voices::Voice& voice : std::as_const(m_usable)) {
        // A voice without a language tag speaks no language a caller could ask for.
        const QString code = Voices::code(voice.language);
        if (!code.isEmpty())
            codes << code;
    }
    return Languages::sorted(codes);
}

bool Speaker::speak(const QString& text, const QString& language, const QStringList& hints) {
    const QString trimmed = text.trimmed();
    const auto resolved = resolve(trimmed, language, hints);
    if (!resolved)
        return false;
    m_backend->stop();
    m_backend->speak(firstCharacters(trimmed, maxSpokenCharacters), resolved->voice);
    return true;
}

void Speaker::stop() {
    m_backend->stop();
}

bool Speaker::shutDown(QDeadlineTimer deadline) {
    return m_backend->shutDown(deadline);
}

QString Speaker::firstCharacters(const QString& text, int limit) {
    return Graphemes::first(text, limit);
}

} // namespace tivela
