#pragma once

#include "core/Json.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

// Reads the fields of a JSON object with a type test on each.
// The plain reads give nothing for a missing key or a value of another type, so that the
// caller's default applies: for requests, where a field of the wrong type counts as absent.
// The record reads decode a whole record strictly: a required field must be there with its
// type, an optional one may be missing or null, and anything else makes the record bad.
class JsonFields {
public:
    explicit JsonFields(QJsonObject object)
        : m_object(std::move(object)) {}

    std::optional<QString> string(QLatin1StringView key) const;
    // A JSON boolean, or the numbers 0 and 1.
    std::optional<bool> boolean(QLatin1StringView key) const;
    // A JSON number with an exact integer value.
    std::optional<qint64> integer(QLatin1StringView key) const;
    std::optional<double> number(QLatin1StringView key) const;
    // An array whose elements are all strings.
    std::optional<QStringList> strings(QLatin1StringView key) const;
    std::optional<QJsonObject> object(QLatin1StringView key) const;

    // False once a record read met a field it could not accept.
    bool ok() const { return m_ok; }
    QString requiredString(QLatin1StringView key);
    double requiredNumber(QLatin1StringView key);
    std::optional<QString> optionalString(QLatin1StringView key);
    std::optional<QStringList> optionalStrings(QLatin1StringView key);
    // An array of records, each an object its `fromJson` accepts.
    template <typename T>
    QList<T> requiredList(QLatin1StringView key);

    // The elements of an array, when all of them are strings.
    static std::optional<QStringList> allStrings(const QJsonArray& array);

private:
    // Whether an optional field is there, failing the record when it is of another type.
    bool present(const QJsonValue& value, bool rightType);

    const QJsonObject m_object;
    bool m_ok = true;
};

template <typename T>
QList<T> JsonFields::requiredList(QLatin1StringView key) {
    const QJsonValue value = m_object.value(key);
    QList<T> list;
    if (!value.isArray()) {
        m_ok = false;
        return list;
    }
    const QJsonArray array = value.toArray();
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        const auto decoded = element.isObject() ? fromJson<T>(element.toObject()) : std::nullopt;
        if (!decoded) {
            m_ok = false;
            return {};
        }
        list << *decoded;
    }
    return list;
}

} // namespace tivela
