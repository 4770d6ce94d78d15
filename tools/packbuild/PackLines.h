#pragma once

#include "Draft.h"

#include "core/LexiconPack.h"

#include <QByteArray>

#include <map>

namespace tivela::packbuild {

// The key lines of a pack by their keys, each value a line of JSON.
using Lines = std::map<QString, QByteArray>;

// The lines of a language's pack: its ending rules ("f"), the English senses with their terms
// ("s"), the senses of each English word ("x") and its words ("w"). The draft is used up.
Lines packLines(Draft& draft, const QString& lang, const QList<LexiconPack::FormRule>& rules);

} // namespace tivela::packbuild
