#include "core/JsonFields.h"
#include "core/DictionaryEntry.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <functional>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(JsonFieldsTest, PlainReadsTestTheType) {
    const QJsonObject object{{u"s"_s, u"x"_s},
                             {u"n"_s, 2.0},
                             {u"f"_s, 2.5},
                             {u"b"_s, true},
                             {u"one"_s, 1},
                             {u"two"_s, 2},
                             {u"list"_s, QJsonArray{u"a"_s, u"b"_s}},
                             {u"mixed"_s, QJsonArray{u"a"_s, 1}},
                             {u"o"_s, QJsonObject{}}};
    const JsonFields fields(object);
    EXPECT_EQ(fields.string("s"_L1), u"x"_s);
    EXPECT_EQ(fields.string("n"_L1), std::nullopt);
    EXPECT_EQ(fields.integer("n"_L1), 2);
    EXPECT_EQ(fields.integer("f"_L1), std::nullopt);
    EXPECT_EQ(fields.number("f"_L1), 2.5);
    EXPECT_EQ(fields.boolean("b"_L1), true);
    EXPECT_EQ(fields.boolean("one"_L1), true);
    EXPECT_EQ(fields.boolean("two"_L1), std::nullopt);
    EXPECT_EQ(fields.boolean("s"_L1), std::nullopt);
    EXPECT_EQ(fields.strings("list"_L1), (QStringList{u"a"_s, u"b"_s}));
    EXPECT_EQ(fields.strings("mixed"_L1), std::nullopt);
    EXPECT_EQ(fields.object("o"_L1), QJsonObject{});
    EXPECT_EQ(fields.object("list"_L1), std::nullopt);
    EXPECT_EQ(fields.string("missing"_L1), std::nullopt);
}

TEST(JsonFieldsTest, RecordReadsAreStrict) {
    const QJsonObject term{{u"text"_s, u"a"_s}};
    const QJsonObject object{{u"s"_s, u"x"_s},
                             {u"n"_s, 2.5},
                             {u"null"_s, QJsonValue::Null},
                             {u"list"_s, QJsonArray{u"a"_s}},
                             {u"mixed"_s, QJsonArray{u"a"_s, 1}},
                             {u"terms"_s, QJsonArray{term, term}},
                             {u"badTerms"_s, QJsonArray{term, QJsonObject{{u"text"_s, 1}}}}};
    JsonFields good(object);
    EXPECT_EQ(good.requiredString("s"_L1), u"x"_s);
    EXPECT_EQ(good.requiredNumber("n"_L1), 2.5);
    EXPECT_EQ(good.optionalString("missing"_L1), std::nullopt);
    EXPECT_EQ(good.optionalString("null"_L1), std::nullopt);
    EXPECT_EQ(good.optionalStrings("list"_L1), QStringList{u"a"_s});
    EXPECT_EQ(good.requiredList<DictionaryEntry::Term>("terms"_L1).size(), 2);
    EXPECT_TRUE(good.ok());

    // Each of these makes the record bad, and it stays bad.
    const auto bad = [&](const std::function<void(JsonFields&)>& read) {
        JsonFields fields(object);
        read(fields);
        fields.requiredString("s"_L1);
        return !fields.ok();
    };
    EXPECT_TRUE(bad([](JsonFields& f) { f.requiredString("missing"_L1); }));
    EXPECT_TRUE(bad([](JsonFields& f) { f.requiredString("n"_L1); }));
    EXPECT_TRUE(bad([](JsonFields& f) { f.requiredNumber("s"_L1); }));
    EXPECT_TRUE(bad([](JsonFields& f) { f.optionalString("n"_L1); }));
    EXPECT_TRUE(bad([](JsonFields& f) { f.optionalStrings("s"_L1); }));
    EXPECT_TRUE(bad([](JsonFields& f) { f.optionalStrings("mixed"_L1); }));
    EXPECT_TRUE(bad([](JsonFields& f) { f.requiredList<DictionaryEntry::Term>("s"_L1); }));
    EXPECT_TRUE(bad([](JsonFields& f) {
        EXPECT_TRUE(f.requiredList<DictionaryEntry::Term>("badTerms"_L1).isEmpty());
    }));
}
