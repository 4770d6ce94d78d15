#pragma once

#include "core/DictionaryEntry.h"

#include <QJsonDocument>

#include <optional>
#include <ostream>

namespace tivela {

// Failure messages show word cards as their JSON rather than as bytes.
inline void PrintTo(const DictionaryEntry& entry, std::ostream* out) {
    *out << QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact).toStdString();
}

inline void PrintTo(const std::optional<DictionaryEntry>& entry, std::ostream* out) {
    if (entry)
        PrintTo(*entry, out);
    else
        *out << "no card";
}

} // namespace tivela
