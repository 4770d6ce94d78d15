#pragma once

#include <QStringList>

namespace tivela {

// What the views that read text aloud tell the speaker besides the text's language.
namespace Speech {

// The saved pair's two languages, the user's own first, as hints for choosing a voice; empty
// when no pair is saved. The file is read again whenever it changed, by any program.
QStringList hints();

} // namespace Speech

} // namespace tivela
