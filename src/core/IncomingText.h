#pragma once

#include <QString>

namespace tivela {

// Text that other programs hand over (the selection, a tivela: URL, D-Bus, the browser
// extension) is kept to its first maxCharacters characters as a person counts them, cut where
// no character is torn apart. Beyond that the views and the engine would keep the person
// waiting for a text nobody reads in the popover.
namespace IncomingText {

inline constexpr qsizetype maxCharacters = 100'000;

struct Capped {
    QString text;
    bool cut = false;
};

Capped cap(const QString& text);

} // namespace IncomingText

} // namespace tivela
