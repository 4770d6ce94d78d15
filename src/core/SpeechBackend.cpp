#include "core/SpeechBackend.h"

namespace tivela {

std::optional<QString> SpeechBackend::defaultVoice(const QString& code,
                                                   const QList<Voices::Voice>& voices) const {
    // The base voice tagged with the language's preferred region, else the one tagged with the
    // bare code: what a desktop speaks when asked for the language alone.
    const QString wanted = Voices::code(code);
    for (const QString& tag : {Voices::preferredRegion().value(wanted), wanted}) {
        if (tag.isEmpty())
            continue;
        for (const Voices::Voice& voice : voices)
            if (!voice.isNovelty && voice.language.compare(tag, Qt::CaseInsensitive) == 0)
                return voice.identifier;
    }
    return std::nullopt;
}

bool SpeechBackend::shutDown(QDeadlineTimer) {
    stop();
    return true;
}

} // namespace tivela
