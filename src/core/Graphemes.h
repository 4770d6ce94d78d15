#pragma once

#include <QString>

namespace tivela {

// Characters as the user perceives them (grapheme clusters), so that no accent, emoji or
// flag is torn apart when a text is measured or cut.
namespace Graphemes {

// The position after the first `count` characters when more text follows them, else -1.
qsizetype boundaryAfter(const QString& text, qsizetype count);
// The text cut after its first `count` characters.
QString first(const QString& text, qsizetype count);
bool longerThan(const QString& text, qsizetype count);
qsizetype count(const QString& text);

} // namespace Graphemes

} // namespace tivela
