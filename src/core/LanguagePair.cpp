#include "core/LanguagePair.h"

#include "core/Languages.h"

using namespace Qt::StringLiterals;

namespace tivela {

QString LanguagePair::target(const QString& source) const {
    return Languages::lexiconCode(source) == Languages::lexiconCode(mine) ? second : mine;
}

LanguagePair LanguagePair::defaultPair(const QString& system) {
    return {system, system == u"en" ? u"es"_s : u"en"_s};
}

QJsonObject toJson(const LanguagePair& pair) {
    return QJsonObject{{u"mine"_s, pair.mine}, {u"second"_s, pair.second}};
}

template <>
std::optional<LanguagePair> fromJson<LanguagePair>(const QJsonObject& object) {
    const QJsonValue mine = object.value(QLatin1String("mine"));
    const QJsonValue second = object.value(QLatin1String("second"));
    if (!mine.isString() || !second.isString())
        return std::nullopt;
    return LanguagePair{mine.toString(), second.toString()};
}

} // namespace tivela
