#include "core/LanguagePair.h"

#include <gtest/gtest.h>

#include <QJsonDocument>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(LanguagePairTest, TargetSendsOnlyMyLanguageToTheSecond) {
    const LanguagePair chinese{u"zh-TW"_s, u"en"_s};
    EXPECT_EQ(chinese.target(u"zh"_s), u"en"_s);
    EXPECT_EQ(chinese.target(u"fr"_s), u"zh-TW"_s);
    const LanguagePair english{u"en"_s, u"de"_s};
    EXPECT_EQ(english.target(u"de"_s), u"en"_s);
    EXPECT_EQ(english.target(u"en"_s), u"de"_s);
}

TEST(LanguagePairTest, DefaultPair) {
    EXPECT_EQ(LanguagePair::defaultPair(u"en"_s), (LanguagePair{u"en"_s, u"es"_s}));
    EXPECT_EQ(LanguagePair::defaultPair(u"ja"_s), (LanguagePair{u"ja"_s, u"en"_s}));
}

TEST(LanguagePairTest, JsonHasExactlyTwoKeysAndBothAreRequired) {
    const LanguagePair pair{u"en"_s, u"es"_s};
    EXPECT_EQ(QJsonDocument(toJson(pair)).toJson(QJsonDocument::Compact),
              QByteArray(R"({"mine":"en","second":"es"})"));
    EXPECT_EQ(fromJson<LanguagePair>(toJson(pair)), pair);
    EXPECT_FALSE(fromJson<LanguagePair>(QJsonObject{{u"mine"_s, u"en"_s}}));
    EXPECT_FALSE(fromJson<LanguagePair>(QJsonObject{{u"mine"_s, u"en"_s}, {u"second"_s, 1}}));
    const QJsonObject extra{{u"mine"_s, u"en"_s}, {u"second"_s, u"fr"_s}, {u"x"_s, true}};
    EXPECT_EQ(fromJson<LanguagePair>(extra), (LanguagePair{u"en"_s, u"fr"_s}));
}
