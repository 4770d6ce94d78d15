#include "core/DictionaryEntry.h"

#include <QHashFunctions>
#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

using Term = DictionaryEntry::Term;
using Group = DictionaryEntry::Group;
using Meaning = DictionaryEntry::Meaning;

void putOptional(QJsonObject& object, const QString& key, const std::optional<QString>& value) {
    if (value)
        object.insert(key, *value);
}

// Decoding reads keys strictly: a required key must be present with the right type, an
// optional one may be missing or null, and any other type fails the whole record.
class Reader {
public:
    explicit Reader(const QJsonObject& object)
        : object_(object) {}

    bool ok() const { return ok_; }

    QString required(const QString& key) {
        const QJsonValue value = object_.value(key);
        if (!value.isString())
            ok_ = false;
        return value.toString();
    }

    std::optional<QString> optional(const QString& key) {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isString()) {
            ok_ = false;
            return std::nullopt;
        }
        return value.toString();
    }

    std::optional<QStringList> optionalStrings(const QString& key) {
        const QJsonValue value = object_.value(key);
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isArray()) {
            ok_ = false;
            return std::nullopt;
        }
        QStringList strings;
        for (const QJsonValue& element : value.toArray()) {
            if (!element.isString()) {
                ok_ = false;
                return std::nullopt;
            }
            strings << element.toString();
        }
        return strings;
    }

    template <typename T>
    QList<T> requiredList(const QString& key) {
        const QJsonValue value = object_.value(key);
        QList<T> list;
        if (!value.isArray()) {
            ok_ = false;
            return list;
        }
        for (const QJsonValue& element : value.toArray()) {
            const auto decoded =
                element.isObject() ? fromJson<T>(element.toObject()) : std::nullopt;
            if (!decoded) {
                ok_ = false;
                return {};
            }
            list << *decoded;
        }
        return list;
    }

private:
    const QJsonObject& object_;
    bool ok_ = true;
};

template <typename T>
QJsonArray array(const QList<T>& list) {
    QJsonArray result;
    for (const T& element : list)
        result.append(toJson(element));
    return result;
}

} // namespace

size_t qHash(const Term& term, size_t seed) {
    return qHashMulti(seed, term.text, term.roman.has_value(), term.roman.value_or(QString()),
                      term.sense.has_value(), term.sense.value_or(QString()));
}

QJsonObject toJson(const Term& term) {
    QJsonObject object{{u"text"_s, term.text}};
    putOptional(object, u"roman"_s, term.roman);
    putOptional(object, u"sense"_s, term.sense);
    return object;
}

QJsonObject toJson(const Group& group) {
    return QJsonObject{{u"pos"_s, group.pos}, {u"terms"_s, array(group.terms)}};
}

QJsonObject toJson(const Meaning& meaning) {
    QJsonObject object{{u"pos"_s, meaning.pos}, {u"gloss"_s, meaning.gloss}};
    putOptional(object, u"example"_s, meaning.example);
    putOptional(object, u"exampleTranslation"_s, meaning.exampleTranslation);
    if (meaning.tags)
        object.insert(u"tags"_s, QJsonArray::fromStringList(*meaning.tags));
    return object;
}

QJsonObject toJson(const DictionaryEntry& entry) {
    QJsonObject object{{u"word"_s, entry.word},
                       {u"from"_s, entry.from},
                       {u"to"_s, entry.to},
                       {u"groups"_s, array(entry.groups)},
                       {u"meanings"_s, array(entry.meanings)}};
    putOptional(object, u"lemma"_s, entry.lemma);
    putOptional(object, u"ipa"_s, entry.ipa);
    putOptional(object, u"roman"_s, entry.roman);
    return object;
}

template <>
std::optional<Term> fromJson<Term>(const QJsonObject& object) {
    Reader read(object);
    Term term{read.required(u"text"_s), read.optional(u"roman"_s), read.optional(u"sense"_s)};
    return read.ok() ? std::optional(term) : std::nullopt;
}

template <>
std::optional<Group> fromJson<Group>(const QJsonObject& object) {
    Reader read(object);
    Group group{read.required(u"pos"_s), read.requiredList<Term>(u"terms"_s)};
    return read.ok() ? std::optional(group) : std::nullopt;
}

template <>
std::optional<Meaning> fromJson<Meaning>(const QJsonObject& object) {
    Reader read(object);
    Meaning meaning;
    meaning.pos = read.required(u"pos"_s);
    meaning.gloss = read.required(u"gloss"_s);
    meaning.example = read.optional(u"example"_s);
    meaning.exampleTranslation = read.optional(u"exampleTranslation"_s);
    meaning.tags = read.optionalStrings(u"tags"_s);
    return read.ok() ? std::optional(meaning) : std::nullopt;
}

template <>
std::optional<DictionaryEntry> fromJson<DictionaryEntry>(const QJsonObject& object) {
    Reader read(object);
    DictionaryEntry entry;
    entry.word = read.required(u"word"_s);
    entry.lemma = read.optional(u"lemma"_s);
    entry.from = read.required(u"from"_s);
    entry.to = read.required(u"to"_s);
    entry.ipa = read.optional(u"ipa"_s);
    entry.roman = read.optional(u"roman"_s);
    entry.groups = read.requiredList<Group>(u"groups"_s);
    entry.meanings = read.requiredList<Meaning>(u"meanings"_s);
    return read.ok() ? std::optional(entry) : std::nullopt;
}

} // namespace tivela
