#pragma once

#include "core/Translator.h"

#include <QString>

namespace tivela {

class Morphology;

// Apertium hands back words it cannot analyse as they came: a text none of whose words the
// source language knows ("Hund" from English, a typo, a sentence in a language taken for the
// source) returns as its own "translation". Such an answer is no translation, and callers
// report it as a failure instead of showing or storing it.
namespace PassThrough {

// Whether the answer only repeats the text (trimmed, in any case), the text has letters
// outside its links, paths and code (Verbatim), and none of its words is known to an analyser
// of `from`. Names the analyser knows ("Maria", "Berlin"), words both languages share
// ("hotel"), numbers and texts of links, paths and code alone translate to themselves and stay
// translations. Without analysers of `from` (none installed, or not ready in time) nothing is
// judged untranslated. Waits as `Morphology::known` does: never on the main thread.
bool leftUntranslated(Morphology& morphology, const QString& text, const QString& answer,
                      const QString& from);

// The failure callers report for such an answer.
TranslateError failure();

} // namespace PassThrough

} // namespace tivela
