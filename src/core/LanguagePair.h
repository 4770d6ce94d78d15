#pragma once

#include "core/Json.h"

#include <QString>

namespace tivela {

// The user's own language and their second one; decides the direction of a translation.
struct LanguagePair {
    QString mine;
    QString second;

    // Text in the user's own language goes to the second language; everything else comes home.
    QString target(const QString& source) const;

    // The pair used when none is saved, given the user's system language.
    static LanguagePair defaultPair(const QString& system);

    friend bool operator==(const LanguagePair&, const LanguagePair&) = default;
};

QJsonObject toJson(const LanguagePair& pair);
template <>
std::optional<LanguagePair> fromJson<LanguagePair>(const QJsonObject& object);

} // namespace tivela
