#pragma once

#include "core/Voices.h"

#include <QString>

#include <optional>
#include <utility>

namespace tivela {

// How the synthesisers we drive (speech-dispatcher's modules, espeak-ng) list their voices,
// turned into the voices the speaker chooses among.
namespace SynthesizerVoices {

// The identifier of a synthesiser's voice: its module and its name.
QString identifier(const QString& module, const QString& name);
// The module and name an identifier was made of; nothing for a foreign identifier.
std::optional<std::pair<QString, QString>> split(const QString& identifier);
// A synthesiser's language tag in canonical case, Mandarin and Cantonese as Chinese
// ("cmn" is "zh", "yue" is "zh-TW"), regions and variants kept.
QString languageTag(const QString& raw);
// How good a module's voices are: 1 formant synthesis, 2 diphone and unit selection,
// 3 neural.
int quality(const QString& module);
// A voice as a synthesiser lists it (its module, name, language tag and variant).
Voices::Voice voice(const QString& module, const QString& name, const QString& tag,
                    const QString& variant);

} // namespace SynthesizerVoices

} // namespace tivela
