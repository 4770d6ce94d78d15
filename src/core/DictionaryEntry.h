#pragma once

#include "core/Json.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

// The word card of the dictionary for one word and one language pair.
struct DictionaryEntry {
    struct Term {
        QString text;
        std::optional<QString> roman;
        // The English gloss of the sense the translation was found through.
        std::optional<QString> sense;

        friend bool operator==(const Term&, const Term&) = default;
    };

    struct Group {
        QString pos;
        QList<Term> terms;

        friend bool operator==(const Group&, const Group&) = default;
    };

    struct Meaning {
        QString pos;
        QString gloss;
        std::optional<QString> example;
        std::optional<QString> exampleTranslation;
        std::optional<QStringList> tags;

        friend bool operator==(const Meaning&, const Meaning&) = default;
    };

    QString word;
    std::optional<QString> lemma;
    QString from;
    QString to;
    std::optional<QString> ipa;
    std::optional<QString> roman;
    QList<Group> groups;
    QList<Meaning> meanings;

    bool isEmpty() const { return groups.isEmpty() && meanings.isEmpty(); }

    friend bool operator==(const DictionaryEntry&, const DictionaryEntry&) = default;
};

size_t qHash(const DictionaryEntry::Term& term, size_t seed = 0);

QJsonObject toJson(const DictionaryEntry::Term& term);
QJsonObject toJson(const DictionaryEntry::Group& group);
QJsonObject toJson(const DictionaryEntry::Meaning& meaning);
QJsonObject toJson(const DictionaryEntry& entry);
template <>
std::optional<DictionaryEntry::Term> fromJson<DictionaryEntry::Term>(const QJsonObject& object);
template <>
std::optional<DictionaryEntry::Group> fromJson<DictionaryEntry::Group>(const QJsonObject& object);
template <>
std::optional<DictionaryEntry::Meaning>
fromJson<DictionaryEntry::Meaning>(const QJsonObject& object);
template <>
std::optional<DictionaryEntry> fromJson<DictionaryEntry>(const QJsonObject& object);

} // namespace tivela
