#include "core/ScriptCheck.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(ScriptCheckTest, TooLittleTextFitsEverything) {
    for (const char* language : {"en", "ru", "ja", "ko", "ar", "xx"}) {
        const QString code = QString::fromLatin1(language);
        EXPECT_TRUE(ScriptCheck::fits(u""_s, code));
        EXPECT_TRUE(ScriptCheck::fits(u"OK!"_s, code));
        EXPECT_TRUE(ScriptCheck::fits(u"12:45 — 2024 !!!"_s, code));
        EXPECT_TRUE(ScriptCheck::fits(u"abc 123"_s, code));
    }
}

TEST(ScriptCheckTest, WrongScriptIsRejected) {
    EXPECT_FALSE(ScriptCheck::fits(u"Hello world"_s, u"ru"_s));
    for (const char* language : {"ru", "uk", "bg", "be", "mk", "sr", "kk"})
        EXPECT_TRUE(ScriptCheck::fits(u"Привет, как дела?"_s, QString::fromLatin1(language)));
    EXPECT_FALSE(ScriptCheck::fits(u"Привет, как дела?"_s, u"en"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"سلام، حال شما چطور است"_s, u"fa"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"آپ کیسے ہیں"_s, u"ur"_s));
    EXPECT_FALSE(ScriptCheck::fits(u"How are you"_s, u"ur"_s));
}

TEST(ScriptCheckTest, SixtyPercentIsTheThreshold) {
    // Letters only count: "абв" + "de" is 3 of 5 Cyrillic.
    EXPECT_TRUE(ScriptCheck::fits(u"абв de"_s, u"ru"_s));
    EXPECT_FALSE(ScriptCheck::fits(u"аб de"_s, u"ru"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"аб, 12 -- d!"_s, u"en"_s)); // 3 letters: too few to judge
}

TEST(ScriptCheckTest, EastAsianScripts) {
    const QString japanese = u"こんにちは世界"_s;
    for (const char* language : {"ja", "zh", "zh-TW"})
        EXPECT_TRUE(ScriptCheck::fits(japanese, QString::fromLatin1(language)));
    EXPECT_FALSE(ScriptCheck::fits(japanese, u"ko"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"안녕하세요 세계"_s, u"ko"_s));
    EXPECT_FALSE(ScriptCheck::fits(u"안녕하세요 세계"_s, u"ja"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"สวัสดีครับ"_s, u"th"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"שלום עולם"_s, u"he"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"नमस्ते दुनिया"_s, u"hi"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"Γειά σου κόσμε"_s, u"el"_s));
}

TEST(ScriptCheckTest, VietnameseAndDecomposedLatinFit) {
    EXPECT_TRUE(ScriptCheck::fits(u"Tiếng Việt rất đẹp và thú vị"_s, u"vi"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"Người ở đây thường nói những điều"_s, u"vi"_s));
    // "é" and "ü" written as a base letter plus a combining mark.
    EXPECT_TRUE(ScriptCheck::fits(u"cafe\u0301 mu\u0308de u\u0308ber"_s, u"de"_s));
}

TEST(ScriptCheckTest, CodesCompareExactly) {
    EXPECT_FALSE(ScriptCheck::fits(u"Привет, как дела?"_s, u"RU"_s));
    EXPECT_TRUE(ScriptCheck::fits(u"Hello world"_s, u"RU"_s));
    EXPECT_EQ(ScriptCheck::script(u"zh-Hant"_s).script, Voices::Script::han);
    EXPECT_EQ(ScriptCheck::script(u"nb"_s).script, Voices::Script::latin);
    // A language outside the fixed rows but with a script of its own is judged by that script.
    EXPECT_TRUE(ScriptCheck::fits(u"გამარჯობა"_s, u"ka"_s));
    EXPECT_FALSE(ScriptCheck::fits(u"Hello world"_s, u"ka"_s));
}
