#include "app/Speech.h"

#include "core/Paths.h"

namespace tivela::Speech {

QStringList hints() {
    if (const auto pair = SharedSettings::pair())
        return {pair->mine, pair->second};
    return {};
}

} // namespace tivela::Speech
