#include "platform/speech/Espeak.h"

#include "platform/speech/SynthesizerVoices.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <atomic>
#include <mutex>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

std::atomic<Espeak*>& holder() {
    static std::atomic<Espeak*> engine{nullptr};
    return engine;
}

// The library is started once per process and never ended: espeak-ng 1.51 hangs when it is
// ended a second time after speaking, so engines borrow it in turn instead.
bool libraryStarted() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        espeak_ng_InitializePath(nullptr);
        espeak_ng_ERROR_CONTEXT context = nullptr;
        started = espeak_ng_Initialize(&context) == ENS_OK;
        espeak_ng_ClearErrorContext(&context);
    });
    return started;
}

// Set for the length of a synthesis into a sink; the library calls back on the same thread.
thread_local const Espeak::Sink* currentSink = nullptr;

int deliver(short* samples, int count, espeak_EVENT*) {
    if (samples && count > 0 && currentSink)
        (*currentSink)(samples, count);
    return 0;
}

} // namespace

Espeak::Espeak(Sink sink)
    : m_sink(std::move(sink)) {
}

Espeak::~Espeak() {
    if (m_sampleRate > 0) {
        espeak_Cancel();
        holder().store(nullptr);
    }
}

bool Espeak::isAvailable() {
    if (m_tried)
        return m_sampleRate > 0;
    m_tried = true;
    Espeak* none = nullptr;
    if (!holder().compare_exchange_strong(none, this))
        return false;
    const auto output = m_sink ? ENOUTPUT_MODE_SYNCHRONOUS : ENOUTPUT_MODE_SPEAK_AUDIO;
    if (!libraryStarted() || espeak_ng_InitializeOutput(output, 0, nullptr) != ENS_OK) {
        holder().store(nullptr);
        return false;
    }
    espeak_SetSynthCallback(deliver);
    m_sampleRate = espeak_ng_GetSampleRate();
    return true;
}
QList<Voices::Voice> Espeak::voices() {
    QList<Voices::Voice> result;
    if (!isAvailable())
        return result;
    const espeak_VOICE** list = espeak_ListVoices(nullptr);
    for (; list && *list; ++list) {
        const espeak_VOICE* voice = *list;
        // The languages field is a run of (priority byte, NUL-terminated tag); the first tag is
        // the voice's own language.
        const char* tag = voice->languages ? voice->languages + 1 : "";
        result << SynthesizerVoices::voice(QString::fromLatin1(module),
                                           QString::fromUtf8(voice->name), QString::fromUtf8(tag),
                                           {});
    }
    return result;
}

bool Espeak::speak(const QString& text, const QString& voiceName) {
    if (!isAvailable())
        return false;
    if (espeak_SetVoiceByName(voiceName.toUtf8().constData()) != EE_OK)
        return false;
    const QByteArray utf8 = text.toUtf8();
    currentSink = m_sink ? &m_sink : nullptr;
    const espeak_ERROR status = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0,
                                             POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    currentSink = nullptr;
    return status == EE_OK;
}

void Espeak::cancel() {
    if (m_sampleRate > 0)
        espeak_Cancel();
}

int Espeak::sampleRate() {
    return isAvailable() ? m_sampleRate : 0;
}

} // namespace tivela
