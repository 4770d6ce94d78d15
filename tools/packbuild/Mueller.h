#pragma once

#include "FreeDict.h"

namespace tivela::packbuild::Mueller {

// One article of Mueller's English-Russian dictionary: numbered senses under "_n."-style parts
// of speech, labels such as "_мор.", idioms after the translations, references ("= dogfish").
FreeDict::Entry parse(const QString& article);

} // namespace tivela::packbuild::Mueller
