#include "core/DictionaryEntry.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

QJsonObject parse(const char* json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

DictionaryEntry fullEntry() {
    DictionaryEntry entry;
    entry.word = u"Häuser"_s;
    entry.lemma = u"haus"_s;
    entry.from = u"de"_s;
    entry.to = u"zh-TW"_s;
    entry.ipa = u"ˈhɔʏ̯zɐ"_s;
    entry.groups = {
        {u"noun"_s,
         {{u"房子"_s, u"fángzi"_s, u"house"_s}, {u"住宅"_s, std::nullopt, std::nullopt}}}};
    entry.meanings = {{u"noun"_s, u"house"_s, u"Das Haus ist alt."_s, u"The house is old."_s,
                       QStringList{u"plural"_s}},
                      {u"noun"_s, u""_s, std::nullopt, std::nullopt, QStringList{}}};
    return entry;
}

} // namespace

TEST(DictionaryEntryTest, AbsentOptionalsAreLeftOut) {
    DictionaryEntry entry;
    entry.word = u"x"_s;
    entry.from = u"en"_s;
    entry.to = u"es"_s;
    const QJsonObject json = toJson(entry);
    EXPECT_EQ(json.keys(),
              (QStringList{u"from"_s, u"groups"_s, u"meanings"_s, u"to"_s, u"word"_s}));
    EXPECT_EQ(json.value(u"groups"_s).toArray().size(), 0);
    EXPECT_TRUE(json.value(u"meanings"_s).isArray());
    EXPECT_TRUE(entry.isEmpty());
}

TEST(DictionaryEntryTest, RoundTripKeepsEveryField) {
    const DictionaryEntry entry = fullEntry();
    const QByteArray bytes = QJsonDocument(toJson(entry)).toJson();
    EXPECT_EQ(fromJson<DictionaryEntry>(QJsonDocument::fromJson(bytes).object()), entry);
    const QJsonArray meanings = toJson(entry).value(u"meanings"_s).toArray();
    EXPECT_EQ(meanings[1].toObject().value(u"tags"_s), QJsonArray());
    EXPECT_FALSE(meanings[1].toObject().contains(u"example"_s));
    const QJsonObject term = toJson(entry.groups[0].terms[1]);
    EXPECT_EQ(term.keys(), QStringList{u"text"_s});
}

TEST(DictionaryEntryTest, DecodingNullAndMissingOptionalsAsAbsent) {
    const auto term = fromJson<DictionaryEntry::Term>(parse(R"({"text":"a","roman":null})"));
    ASSERT_TRUE(term);
    EXPECT_FALSE(term->roman);
    EXPECT_FALSE(term->sense);
    const auto meaning = fromJson<DictionaryEntry::Meaning>(
        parse(R"({"pos":"","gloss":"g","tags":null,"extra":1})"));
    ASSERT_TRUE(meaning);
    EXPECT_FALSE(meaning->tags);
}

TEST(DictionaryEntryTest, DecodingRequiresTheRequiredKeys) {
    EXPECT_FALSE(
        fromJson<DictionaryEntry>(parse(R"({"word":"a","from":"en","to":"es","meanings":[]})")));
    EXPECT_FALSE(
        fromJson<DictionaryEntry>(parse(R"({"word":"a","from":"en","groups":[],"meanings":[]})")));
    EXPECT_FALSE(fromJson<DictionaryEntry::Term>(parse(R"({"roman":"x"})")));
    EXPECT_FALSE(
        fromJson<DictionaryEntry::Group>(parse(R"({"pos":"noun","terms":[{"roman":"x"}]})")));
    EXPECT_FALSE(
        fromJson<DictionaryEntry::Meaning>(parse(R"({"pos":"noun","gloss":"g","tags":[1]})")));
    EXPECT_FALSE(fromJson<DictionaryEntry::Term>(parse(R"({"text":"a","sense":5})")));
    EXPECT_TRUE(fromJson<DictionaryEntry>(
        parse(R"({"word":"a","from":"en","to":"es","groups":[],"meanings":[]})")));
}

TEST(DictionaryEntryTest, EqualityAndHashingCoverEveryField) {
    DictionaryEntry a = fullEntry();
    DictionaryEntry b = fullEntry();
    EXPECT_EQ(a, b);
    b.groups[0].terms[0].sense = u"home"_s;
    EXPECT_NE(a, b);
    b = fullEntry();
    b.meanings[1].tags.reset();
    EXPECT_NE(a, b);

    const DictionaryEntry::Term x{u"t"_s, std::nullopt, u"s"_s};
    const DictionaryEntry::Term y{u"t"_s, std::nullopt, u"s"_s};
    const DictionaryEntry::Term swapped{u"t"_s, u"s"_s, std::nullopt};
    EXPECT_EQ(qHash(x), qHash(y));
    EXPECT_NE(x, swapped);
    EXPECT_EQ((QSet<DictionaryEntry::Term>{x, y, swapped}).size(), 2);
}

TEST(DictionaryEntryTest, IsEmptyNeedsBothListsEmpty) {
    DictionaryEntry entry = fullEntry();
    entry.groups.clear();
    EXPECT_FALSE(entry.isEmpty());
    entry = fullEntry();
    entry.meanings.clear();
    EXPECT_FALSE(entry.isEmpty());
}
