#include "app/Tab.h"

#include "core/EnumText.h"

namespace tivela {

QString rawValue(Tab tab) {
    return EnumText::text(tab);
}

std::optional<Tab> tab(const QString& rawValue) {
    return EnumText::value<Tab>(rawValue);
}

} // namespace tivela
