#pragma once

#include "core/Voices.h"

#include <QString>
#include <QStringView>

namespace tivela {

// Whether a translated text is written mostly in the script its target language expects, so
// that an engine answer in the wrong writing system can be told apart.
namespace ScriptCheck {

// The scalars a target language's text is expected to be written in.
struct Test {
    Voices::Script script = Voices::Script::latin;

    bool accepts(char32_t scalar) const;
};

Test script(const QString& language);
// True when the text has fewer than 4 letters, or at least 60 % of them pass the language's test.
bool fits(QStringView text, const QString& language);

} // namespace ScriptCheck

} // namespace tivela
