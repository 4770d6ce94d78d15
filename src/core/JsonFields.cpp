#include "core/JsonFields.h"

#include <cmath>

namespace tivela {

std::optional<QString> JsonFields::string(QLatin1StringView key) const {
    const QJsonValue value = m_object.value(key);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

std::optional<bool> JsonFields::boolean(QLatin1StringView key) const {
    const QJsonValue value = m_object.value(key);
    if (value.isBool())
        return value.toBool();
    if (value.isDouble() && (value.toDouble() == 0 || value.toDouble() == 1))
        return value.toDouble() == 1;
    return std::nullopt;
}

std::optional<qint64> JsonFields::integer(QLatin1StringView key) const {
    const QJsonValue value = m_object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    // Beyond 2^53 a double no longer tells integers apart; such values are no exact integers.
    if (std::trunc(number) != number || std::fabs(number) > 9007199254740992.0)
        return std::nullopt;
    return qint64(number);
}

std::optional<double> JsonFields::number(QLatin1StringView key) const {
    const QJsonValue value = m_object.value(key);
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

std::optional<QStringList> JsonFields::strings(QLatin1StringView key) const {
    const QJsonValue value = m_object.value(key);
    return value.isArray() ? allStrings(value.toArray()) : std::nullopt;
}

std::optional<QJsonObject> JsonFields::object(QLatin1StringView key) const {
    const QJsonValue value = m_object.value(key);
    return value.isObject() ? std::optional(value.toObject()) : std::nullopt;
}

QString JsonFields::requiredString(QLatin1StringView key) {
    const QJsonValue value = m_object.value(key);
    m_ok = m_ok && value.isString();
    return value.toString();
}

double JsonFields::requiredNumber(QLatin1StringView key) {
    const QJsonValue value = m_object.value(key);
    m_ok = m_ok && value.isDouble();
    return value.toDouble();
}

bool JsonFields::present(const QJsonValue& value, bool rightType) {
    if (value.isUndefined() || value.isNull())
        return false;
    m_ok = m_ok && rightType;
    return rightType;
}

std::optional<QString> JsonFields::optionalString(QLatin1StringView key) {
    const QJsonValue value = m_object.value(key);
    if (!present(value, value.isString()))
        return std::nullopt;
    return value.toString();
}

std::optional<QStringList> JsonFields::optionalStrings(QLatin1StringView key) {
    const QJsonValue value = m_object.value(key);
    if (!present(value, value.isArray()))
        return std::nullopt;
    auto strings = allStrings(value.toArray());
    m_ok = m_ok && strings;
    return strings;
}

std::optional<QStringList> JsonFields::allStrings(const QJsonArray& array) {
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isString())
            return std::nullopt;
        list << element.toString();
    }
    return list;
}

} // namespace tivela
