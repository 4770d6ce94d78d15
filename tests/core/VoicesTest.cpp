#include "core/Voices.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using Voices::Script;

TEST(VoicesTest, ScriptOfScalar) {
    EXPECT_EQ(Voices::script(U'a'), Script::latin);
    EXPECT_EQ(Voices::script(U'ệ'), Script::latin);
    EXPECT_EQ(Voices::script(U'ж'), Script::cyrillic);
    EXPECT_EQ(Voices::script(U'ἀ'), Script::greek);
    EXPECT_EQ(Voices::script(U'ﻻ'), Script::arabic);
    EXPECT_EQ(Voices::script(U'ক'), Script::bengali);
    EXPECT_EQ(Voices::script(U'ଓ'), std::nullopt); // Oriya has no script of its own here
    EXPECT_EQ(Voices::script(U'ក'), Script::khmer);
    EXPECT_EQ(Voices::script(U'မ'), Script::myanmar);
    EXPECT_EQ(Voices::script(U'ა'), Script::georgian);
    EXPECT_EQ(Voices::script(U'カ'), Script::japanese);
    EXPECT_EQ(Voices::script(U'ㅎ'), Script::hangul);
    EXPECT_EQ(Voices::script(U'漢'), Script::han);
    for (const char32_t none : {U'1', U' ', U'!', U'😀', U'\u00B5'})
        EXPECT_EQ(Voices::script(none), std::nullopt);
}

TEST(VoicesTest, ScriptOfText) {
    EXPECT_EQ(Voices::script(u"漢字とかな"_s), Script::japanese);
    EXPECT_EQ(Voices::script(u"汉字"_s), Script::han);
    EXPECT_EQ(Voices::script(u"123 !?"_s), std::nullopt);
    EXPECT_EQ(Voices::script(u"abc где"_s), Script::cyrillic); // 3 and 3: the earlier name wins
    EXPECT_EQ(Voices::script(u"漢한"_s), Script::han);
    EXPECT_EQ(Voices::script(QString(QString(300, u'a') + QString(300, u'ж'))), Script::latin);
    EXPECT_EQ(Voices::script(QString(QString(100, u'a') + QString(300, u'ж'))), Script::cyrillic);
    // Kana past the first 400 scalars is not seen.
    EXPECT_EQ(Voices::script(QString(QString(400, u'漢') + u"か"_s)), Script::han);
}

TEST(VoicesTest, ScriptsOfLanguage) {
    EXPECT_EQ(Voices::scripts(u"sr"_s), (QList<Script>{Script::cyrillic, Script::latin}));
    EXPECT_EQ(Voices::scripts(u"ja"_s), (QList<Script>{Script::japanese, Script::han}));
    EXPECT_EQ(Voices::scripts(u"zh_TW"_s), QList<Script>{Script::han});
    EXPECT_EQ(Voices::scripts(u"de"_s), QList<Script>{Script::latin});
    EXPECT_EQ(Voices::scripts(u"RU"_s), QList<Script>{Script::cyrillic});
    EXPECT_EQ(Voices::scriptOfLanguage().size(), 39);
    EXPECT_EQ(Voices::defaultLanguage(Script::han), u"zh"_s);
    EXPECT_TRUE(Voices::defaultLanguage(Script::cyrillic).isEmpty());
    EXPECT_EQ(Voices::name(Script::han), u"han"_s);
}

TEST(VoicesTest, CodeOfVoiceLanguage) {
    const std::pair<const char*, const char*> cases[] = {
        {"zh_HK", "zh-TW"}, {"zh-Hans-CN", "zh"}, {"nb_NO", "nb"}, {"fil-PH", "tl"},
        {"iw-IL", "he"},    {"en-US", "en"},      {"-de", "de"},   {"", ""},
        {"in", "id"},       {"nn", "nb"},         {"cmn", "cmn"},  {"ZH-hant", "zh-TW"}};
    for (const auto& [language, expected] : cases)
        EXPECT_EQ(Voices::code(QString::fromUtf8(language)), QString::fromUtf8(expected))
            << language;
}
