#include "core/Languages.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(LanguagesTest, CodeFromIdentifierFoldsRegionsScriptsAndAliases) {
    const std::pair<const char*, const char*> cases[] = {{"en-US", "en"},
                                                         {"pt-BR", "pt"},
                                                         {"pt_BR", "pt"},
                                                         {"zh-Hans-CN", "zh"},
                                                         {"zh-Hant", "zh-TW"},
                                                         {"zh-HK", "zh-TW"},
                                                         {"zh-Hans-HK", "zh-TW"},
                                                         {"zh_MO", "zh-TW"},
                                                         {"zh-Hant-TW", "zh-TW"},
                                                         {"zh", "zh"},
                                                         {"no", "nb"},
                                                         {"nn-NO", "nb"},
                                                         {"nb-NO", "nb"},
                                                         {"iw", "he"},
                                                         {"in", "id"},
                                                         {"EN-gb", "en"},
                                                         {"fil-PH", "fil"},
                                                         {"de_DE.UTF-8", "de"},
                                                         {"sr-Latn-RS", "sr"},
                                                         {"es-419", "es"},
                                                         {"x", "x"},
                                                         {"", ""},
                                                         {"1234", "12"}};
    for (const auto& [identifier, expected] : cases)
        EXPECT_EQ(Languages::code(QString::fromUtf8(identifier)), QString::fromUtf8(expected))
            << identifier;
}

TEST(LanguagesTest, TagsSplitIntoPartsInCanonicalCase) {
    const Languages::Tag posix = Languages::tag(u"zh_hant_tw.UTF-8@stroke"_s);
    EXPECT_EQ(posix.language, u"zh"_s);
    EXPECT_EQ(posix.script, u"Hant"_s);
    EXPECT_EQ(posix.region, u"TW"_s);
    EXPECT_TRUE(posix.rest.isEmpty());
    const std::pair<const char*, const char*> cases[] = {
        {"EN_us", "en-US"},   {"sr--LATN", "sr-Latn"},      {"en-gb-X-RP", "en-GB-x-rp"},
        {"es-419", "es-419"}, {"en-US-Latn", "en-US-latn"}, {"-_-", ""}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Languages::tag(QString::fromUtf8(text)).toString(), QString::fromUtf8(expected))
            << text;
}

TEST(LanguagesTest, PlatformIdentifiersRoundTrip) {
    EXPECT_EQ(Languages::platformIdentifier(u"zh"_s), u"zh-Hans"_s);
    EXPECT_EQ(Languages::platformIdentifier(u"zh-TW"_s), u"zh-Hant"_s);
    EXPECT_EQ(Languages::platformIdentifier(u"pt"_s), u"pt"_s);
    for (const QString& code : Languages::popularity())
        EXPECT_EQ(Languages::code(Languages::platformIdentifier(code)), code) << code.toStdString();
}

TEST(LanguagesTest, LexiconCodeFoldsOnlyChinese) {
    EXPECT_EQ(Languages::lexiconCode(u"zh-TW"_s), u"zh"_s);
    EXPECT_EQ(Languages::lexiconCode(u"zh"_s), u"zh"_s);
    EXPECT_EQ(Languages::lexiconCode(u"zu"_s), u"zu"_s);
}

TEST(LanguagesTest, NamesUseOverridesThenLocaleDataThenTheCode) {
    EXPECT_EQ(Languages::name(u"nb"_s), u"Norwegian"_s);
    EXPECT_EQ(Languages::name(u"zh-TW"_s), u"Chinese (Traditional)"_s);
    EXPECT_EQ(Languages::name(u"zh"_s), u"Chinese (Simplified)"_s);
    EXPECT_EQ(Languages::name(u"de"_s), u"German"_s);
    EXPECT_EQ(Languages::name(u"af"_s), u"Afrikaans"_s);
    // Beyond Qt's tables: ICU's name, and the engine's macrolanguage by ours.
    EXPECT_EQ(Languages::name(u"frp"_s), u"Arpitan"_s);
    EXPECT_EQ(Languages::name(u"hbs"_s), u"Serbo-Croatian"_s);
    EXPECT_EQ(Languages::name(u"qqq"_s), u"qqq"_s);
    EXPECT_EQ(Languages::name(QString()), QString());
    for (const QString& code : Languages::popularity())
        EXPECT_NE(Languages::name(code), code) << "no English name for " << code.toStdString();
}

TEST(LanguagesTest, SortedPutsPopularFirstThenByName) {
    EXPECT_EQ(Languages::sorted({u"ru"_s, u"en"_s, u"zu"_s, u"af"_s, u"en"_s}),
              (QStringList{u"en"_s, u"ru"_s, u"af"_s, u"zu"_s}));
    EXPECT_EQ(Languages::sorted({u"bg"_s, u"zh-TW"_s, u"zh"_s}),
              (QStringList{u"zh"_s, u"zh-TW"_s, u"bg"_s}));
    EXPECT_TRUE(Languages::sorted({}).isEmpty());
    // Unknown codes are named by themselves and still order deterministically.
    EXPECT_EQ(Languages::sorted({u"qqb"_s, u"qqa"_s, u"en"_s}),
              (QStringList{u"en"_s, u"qqa"_s, u"qqb"_s}));
}

TEST(LanguagesTest, Tables) {
    EXPECT_EQ(Languages::popularity().size(), 33);
    EXPECT_EQ(Languages::lexicon().size(), 32);
    EXPECT_EQ(Languages::popularity().first(), u"en"_s);
    for (const char* code : {"ca", "bg"}) {
        EXPECT_TRUE(Languages::popularity().contains(QString::fromLatin1(code)));
        EXPECT_TRUE(Languages::lexicon().contains(QString::fromLatin1(code)));
    }
    EXPECT_TRUE(Languages::popularity().contains(u"zh-TW"_s));
    EXPECT_FALSE(Languages::lexicon().contains(u"zh-TW"_s));
    EXPECT_EQ(Languages::popularity().indexOf(u"ru"_s), 30);
}

TEST(LanguagesTest, SystemLanguageWalksPreferredLanguages) {
    EXPECT_EQ(Languages::systemLanguage({}, {u"de-AT"_s}), u"en"_s);
    EXPECT_EQ(Languages::systemLanguage({u"fr"_s, u"de"_s}, {u"de-AT"_s, u"fr"_s}), u"de"_s);
    EXPECT_EQ(Languages::systemLanguage({u"fr"_s}, {u"de-AT"_s, u"fr-CA"_s}), u"fr"_s);
    EXPECT_EQ(Languages::systemLanguage({u"zh-TW"_s, u"zh"_s}, {u"zh-Hant-HK"_s}), u"zh-TW"_s);
    EXPECT_EQ(Languages::systemLanguage({u"fr"_s}, {}), u"en"_s);
}

TEST(LanguagesTest, LanguageValueAndJson) {
    const Language language{u"nb"_s};
    EXPECT_EQ(language.name(), u"Norwegian"_s);
    EXPECT_EQ(Language{u"zh-TW"_s}.lexiconCode(), u"zh"_s);
    EXPECT_EQ(fromJson<Language>(toJson(language)), language);
    EXPECT_EQ(toJson(language).keys(), QStringList{u"code"_s});
    EXPECT_FALSE(fromJson<Language>(QJsonObject{{u"code"_s, 3}}));
}
