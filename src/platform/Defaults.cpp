#include "platform/Defaults.h"

#include "core/Speaker.h"
#include "core/Translator.h"
#include "platform/engine/ApertiumEngine.h"
#include "platform/recognizer/Cld2Recognizer.h"
#include "platform/recognizer/Morphology.h"
#include "platform/recognizer/PassThrough.h"
#include "platform/speech/SystemSpeech.h"

namespace tivela::Defaults {
namespace {

// The speaker once made: the end of the process must not make one only to stop it.
Speaker*& madeSpeaker() {
    static Speaker* made = nullptr;
    return made;
}

} // namespace

std::shared_ptr<TranslationEngine> engine() {
    return std::make_shared<ApertiumEngine>();
}

std::unique_ptr<LanguageRecognizer> recognizer() {
    return std::make_unique<Cld2Recognizer>();
}

std::unique_ptr<SpeechBackend> speech() {
    return std::make_unique<SystemSpeech>();
}

Translator& translator() {
    static Translator translator(engine());
    return translator;
}

Speaker& speaker() {
    static Speaker speaker(speech());
    madeSpeaker() = &speaker;
    return speaker;
}

std::optional<LanguageDetector::Guess> detect(const QString& text, const QSet<QString>& allowed,
                                              const QStringList& hints) {
    Cld2Recognizer recognizer;
    return LanguageDetector::detect(text, allowed, hints, recognizer);
}

bool stopWork(QDeadlineTimer deadline) {
    // All are told before any is waited for, so that their threads end side by side.
    Translator& translator = Defaults::translator();
    translator.stop(QDeadlineTimer(0));
    Speaker* const speaker = madeSpeaker();
    if (speaker)
        speaker->shutDown(QDeadlineTimer(0));
    const bool analysers = Morphology::shared().stop(deadline);
    const bool translations = translator.stop(deadline);
    return (!speaker || speaker->shutDown(deadline)) && translations && analysers;
}

std::optional<LanguageDetector::Guess> detectAny(const QString& text, const QStringList& hints) {
    Cld2Recognizer recognizer;
    return LanguageDetector::detectAny(text, hints, recognizer);
}

bool leftUntranslated(const QString& text, const QString& answer, const QString& from) {
    return PassThrough::leftUntranslated(Morphology::shared(), text, answer, from);
}

void loadAnalysers(const QString& language) {
    Morphology::shared().load({language}, std::chrono::milliseconds(0));
}

} // namespace tivela::Defaults
