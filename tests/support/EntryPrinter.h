#pragma once

#include "core/DictionaryEntry.h"

#include <QJsonDocument>

#include <optional>
#include <ostream>

namespace tivela {

namespace test {

// A card whose meanings each have a gloss and, when given, an example in the card's language.
inline DictionaryEntry card(const QString& word, const QString& from, const QString& to,
                            const QList<std::pair<QString, QString>>& meanings) {
    DictionaryEntry entry{word, {}, from, to, {}, {}, {}, {}};
    for (const auto& [gloss, example] : meanings) {
        DictionaryEntry::Meaning meaning{QStringLiteral("noun"), gloss, {}, {}, {}};
        if (!example.isEmpty())
            (from == QLatin1String("en") ? meaning.example : meaning.exampleTranslation) = example;
        entry.meanings << meaning;
    }
    return entry;
}

} // namespace test

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
