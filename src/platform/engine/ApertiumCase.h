#pragma once

#include <QString>
#include <QStringView>

namespace tivela {

// Apertium capitalises what it takes for the start of a sentence, a single word too: "house"
// comes back as "Casa", "hermano" as "Brother". A short phrase typed in small letters keeps its
// first letter small in translation when that capital is the only one the engine wrote.
// Sentences, and phrases with capitals of their own ("Hola Mundo", English "I", German nouns),
// keep the engine's case.
namespace ApertiumCase {

// A phrase is at most this many words and characters, without sentence punctuation.
inline constexpr qsizetype maxWords = 4;
inline constexpr qsizetype maxCharacters = 40;

// The translation of `source` into the language `target` (a language code), its first letter
// made small where the engine alone made it a capital.
QString followSource(QStringView source, const QString& translation, const QString& target);

} // namespace ApertiumCase

} // namespace tivela
