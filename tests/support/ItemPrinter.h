#pragma once

#include "core/Store.h"

#include <QJsonDocument>

#include <ostream>

namespace tivela {

// Failure messages show rows as their JSON rather than as bytes.
inline void PrintTo(const Item& item, std::ostream* out) {
    *out << QJsonDocument(toJson(item)).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace tivela
