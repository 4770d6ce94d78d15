#pragma once

#include <QJsonObject>

#include <optional>

namespace tivela {

// Decoding of the system's JSON records. Each value type specialises this next to its
// `toJson` overload; a missing required key or a value of the wrong type gives nothing.
template <typename T>
std::optional<T> fromJson(const QJsonObject& object);

} // namespace tivela
