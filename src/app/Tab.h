#pragma once

#include <QString>

#include <array>
#include <optional>

namespace tivela {

// The tabs of the popover, in the order of the tab bar.
enum class Tab { translate, history, phrasebook, cards };

inline constexpr std::array<Tab, 4> allTabs{Tab::translate, Tab::history, Tab::phrasebook,
                                            Tab::cards};

// "translate", "history", "phrasebook", "cards"; also a tab's identity.
QString rawValue(Tab tab);
std::optional<Tab> tab(const QString& rawValue);

} // namespace tivela
