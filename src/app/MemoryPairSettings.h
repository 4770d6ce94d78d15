#pragma once

#include "app/AppServices.h"

namespace tivela {

// A pair setting that lives only as long as the object: a model in a check or render mode
// changes its pair without touching the pair the person saved.
class MemoryPairSettings : public PairSettings {
public:
    explicit MemoryPairSettings(std::optional<LanguagePair> pair = {});
    std::optional<LanguagePair> pair() override;
    void setPair(const LanguagePair& pair) override;

private:
    std::optional<LanguagePair> m_pair;
};

} // namespace tivela
