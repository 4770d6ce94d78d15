#include "app/Speech.h"

#include "core/Paths.h"

namespace tivela::Speech {

// The listen buttons ask on every keystroke; the shared settings parse their file only once it
// changed.
QStringList hints() {
    const auto pair = SharedSettings::pair();
    return pair ? QStringList{pair->mine, pair->second} : QStringList();
}

} // namespace tivela::Speech
