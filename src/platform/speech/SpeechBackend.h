#pragma once

#include "core/Voices.h"

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

    // The platform's own choice of voice for a language among the listed ones.
    virtual std::optional<QString> defaultVoice(const QString& code,
                                                const QList<Voices::Voice>& voices) const;

    // The identifier of a synthesiser's voice: its module and its name.
    static QString identifier(const QString& module, const QString& name);
    // The module and name an identifier was made of; nothing for a foreign identifier.
    static std::optional<std::pair<QString, QString>> split(const QString& identifier);
    // A synthesiser's language tag in canonical case, Mandarin and Cantonese as Chinese
    // ("cmn" is "zh", "yue" is "zh-TW"), regions and variants kept.
    static QString languageTag(const QString& raw);
    // How good a module's voices are: 1 formant synthesis, 2 diphone and unit selection,
    // 3 neural.
    static int quality(const QString& module);
    // A voice as a synthesiser lists it (its module, name, language tag and variant).
    static Voices::Voice voice(const QString& module, const QString& name, const QString& tag,
                               const QString& variant);
};

} // namespace tivela
