#include "app/MemoryPairSettings.h"

namespace tivela {

MemoryPairSettings::MemoryPairSettings(std::optional<LanguagePair> pair)
    : m_pair(std::move(pair)) {
}

std::optional<LanguagePair> MemoryPairSettings::pair() {
    return m_pair;
}

void MemoryPairSettings::setPair(const LanguagePair& pair) {
    m_pair = pair;
}

} // namespace tivela
