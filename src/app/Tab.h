#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <optional>

namespace tivela {

// Qt's meta-object system takes one Q_NAMESPACE per namespace across a program, so the tabs'
// enumeration, whose names are also their stored values, has a namespace of its own.
namespace Tabs {
Q_NAMESPACE

// The tabs of the popover, in the order of the tab bar.
enum class Tab { translate, history, phrasebook, cards };
Q_ENUM_NS(Tab)

} // namespace Tabs

using Tabs::Tab;

inline constexpr std::array<Tab, 4> allTabs{Tab::translate, Tab::history, Tab::phrasebook,
                                            Tab::cards};

// "translate", "history", "phrasebook", "cards"; also a tab's identity.
QString rawValue(Tab tab);
std::optional<Tab> tab(const QString& rawValue);

} // namespace tivela
