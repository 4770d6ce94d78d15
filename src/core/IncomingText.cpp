#include "core/IncomingText.h"

#include "core/Graphemes.h"

namespace tivela::IncomingText {

Capped cap(const QString& text) {
    const qsizetype end = Graphemes::boundaryAfter(text, maxCharacters);
    if (end < 0)
        return {text, false};
    return {text.left(end), true};
}

bool exceedsCap(const QString& text) {
    return Graphemes::longerThan(text, maxCharacters);
}

} // namespace tivela::IncomingText
