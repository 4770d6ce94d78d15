#include "core/DictionaryEntry.h"

#include "core/JsonFields.h"

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
    JsonFields read(object);
    Term term{read.requiredString("text"_L1), read.optionalString("roman"_L1),
              read.optionalString("sense"_L1)};
    return read.ok() ? std::optional(term) : std::nullopt;
}

template <>
std::optional<Group> fromJson<Group>(const QJsonObject& object) {
    JsonFields read(object);
    Group group{read.requiredString("pos"_L1), read.requiredList<Term>("terms"_L1)};
    return read.ok() ? std::optional(group) : std::nullopt;
}

template <>
std::optional<Meaning> fromJson<Meaning>(const QJsonObject& object) {
    JsonFields read(object);
    Meaning meaning;
    meaning.pos = read.requiredString("pos"_L1);
    meaning.gloss = read.requiredString("gloss"_L1);
    meaning.example = read.optionalString("example"_L1);
    meaning.exampleTranslation = read.optionalString("exampleTranslation"_L1);
    meaning.tags = read.optionalStrings("tags"_L1);
    return read.ok() ? std::optional(meaning) : std::nullopt;
}

template <>
std::optional<DictionaryEntry> fromJson<DictionaryEntry>(const QJsonObject& object) {
    JsonFields read(object);
    DictionaryEntry entry;
    entry.word = read.requiredString("word"_L1);
    entry.lemma = read.optionalString("lemma"_L1);
    entry.from = read.requiredString("from"_L1);
    entry.to = read.requiredString("to"_L1);
    entry.ipa = read.optionalString("ipa"_L1);
    entry.roman = read.optionalString("roman"_L1);
    entry.groups = read.requiredList<Group>("groups"_L1);
    entry.meanings = read.requiredList<Meaning>("meanings"_L1);
    return read.ok() ? std::optional(entry) : std::nullopt;
}

} // namespace tivela
