#include "app/Tab.h"

using namespace Qt::StringLiterals;

namespace tivela {

QString rawValue(Tab tab) {
    switch (tab) {
    case Tab::translate:
        return u"translate"_s;
    case Tab::history:
        return u"history"_s;
    case Tab::phrasebook:
        return u"phrasebook"_s;
    case Tab::cards:
        return u"cards"_s;
    }
    return {};
}

std::optional<Tab> tab(const QString& rawValue) {
    for (const Tab candidate : allTabs)
        if (tivela::rawValue(candidate) == rawValue)
            return candidate;
    return std::nullopt;
}

} // namespace tivela
