#pragma once

#include "PackLines.h"

namespace tivela::packbuild {

class English;

// The lines of the English pack: WordNet's lemmas with their senses, definitions and
// examples, and the inflected forms that point to them.
Lines englishLines(const English& english);

} // namespace tivela::packbuild
