#include "core/IncomingText.h"

#include "core/Graphemes.h"

namespace tivela::IncomingText {

Capped cap(const QString& text) {
    // Where the characters end is found in a beginning of the text first: a boundary before
    // the end of that beginning is one in the whole text too, and a megabyte is not read
    // through when its first fifth holds the cap.
    qsizetype end = -1;
    if (text.size() > 2 * maxCharacters)
        end = Graphemes::boundaryAfter(text.left(2 * maxCharacters), maxCharacters);
    if (end < 0)
        end = Graphemes::boundaryAfter(text, maxCharacters);
    if (end < 0)
        return {text, false};
    return {text.left(end), true};
}

} // namespace tivela::IncomingText
