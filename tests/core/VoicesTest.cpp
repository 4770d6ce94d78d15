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

TEST(VoicesTest, ScriptFits) {
    EXPECT_TRUE(Voices::scriptFits(u"Hello"_s, u"de"_s));
    EXPECT_FALSE(Voices::scriptFits(u"Hello"_s, u"ru"_s));
    EXPECT_TRUE(Voices::scriptFits(u"Zdravo, Здраво"_s, u"sr"_s));
    EXPECT_TRUE(Voices::scriptFits(u"漢字"_s, u"ja"_s));
    EXPECT_TRUE(Voices::scriptFits(u"42 !"_s, u"ko"_s)); // no script at all
}

TEST(VoicesTest, SpeechLanguageFollowsTheTextsScript) {
    const auto spoken = [](const QString& text, const QString& language,
                           const QStringList& hints = {}) {
        return Voices::speechLanguage(text, language, hints).value_or(u"<none>"_s);
    };
    // Cyrillic stated as English: the letters of one language decide, then hints, then Russian.
    EXPECT_EQ(spoken(u"Привет мир"_s, u"en"_s), u"ru"_s);           // no telling letter: Russian
    EXPECT_EQ(spoken(u"Добрий вечір"_s, u"en"_s), u"uk"_s);         // і
    EXPECT_EQ(spoken(u"Это текст"_s, u"en"_s, {u"uk"_s}), u"ru"_s); // э beats the hint
    EXPECT_EQ(spoken(u"Привет мир"_s, u"en"_s, {u"de"_s, u"sr"_s}), u"sr"_s);
    EXPECT_EQ(spoken(u"Привет мир"_s, u"uk"_s), u"uk"_s); // the stated language fits
    // Kana decides for Japanese; Han alone is Japanese only when stated so.
    EXPECT_EQ(spoken(u"ひらがなと漢字漢字漢字"_s, u"zh"_s), u"ja"_s);
    EXPECT_EQ(spoken(u"漢字"_s, u"ja"_s), u"ja"_s);
    EXPECT_EQ(spoken(u"漢字"_s, u"en"_s), u"zh"_s);
    EXPECT_EQ(spoken(u"漢字"_s, u"en"_s, {u"ru"_s, u"zh-TW"_s}), u"zh-TW"_s);
    // A Latin text is never given a language of another script, nor a guessed one.
    EXPECT_EQ(spoken(u"Hello"_s, u"de"_s), u"de"_s);
    EXPECT_EQ(spoken(u"Hello"_s, u"ru"_s, {u"en"_s}), u"<none>"_s);
    // Other scripts: the first hint written in it, else the script's own language.
    EXPECT_EQ(spoken(u"שלום"_s, u"en"_s, {u"he"_s}), u"he"_s);
    EXPECT_EQ(spoken(u"שלום"_s, u"en"_s, {u"fr"_s}), u"he"_s);
    EXPECT_EQ(spoken(u"سلام"_s, u"en"_s, {u"de"_s, u"fa"_s}), u"fa"_s);
    // No script: the stated language, whatever it is.
    EXPECT_EQ(spoken(u"12:30 — !"_s, u"xx"_s), u"xx"_s);
}

namespace {

Voices::Voice voice(const QString& identifier, const QString& name, const QString& language,
                    int quality, bool novelty = false) {
    return {identifier, name, language, quality, novelty};
}

QString picked(const QList<Voices::Voice>& voices, const QString& code,
               const std::optional<QString>& systemDefault = std::nullopt) {
    const auto best = Voices::pick(voices, code, systemDefault);
    return best ? best->identifier : u"<none>"_s;
}

} // namespace

TEST(VoicesTest, PickRanksQualityDefaultAndRegion) {
    const auto british = voice(u"gb"_s, u"Kate"_s, u"en-GB"_s, 2);
    const auto american = voice(u"us"_s, u"Zoe"_s, u"en_US"_s, 1);
    const auto irish = voice(u"ie"_s, u"Aoife"_s, u"en-IE"_s, 1);
    // Quality 2 (10) beats the preferred region (0 + 5).
    EXPECT_EQ(picked({american, british}, u"en"_s), u"gb"_s);
    // Between two of quality 1 the preferred region wins, whatever the separator.
    EXPECT_EQ(picked({irish, american}, u"en"_s), u"us"_s);
    // The platform's default (7) outweighs the region (5) but not a better quality.
    EXPECT_EQ(picked({irish, american}, u"en"_s, u"ie"_s), u"ie"_s);
    EXPECT_EQ(picked({irish, british}, u"en"_s, u"ie"_s), u"gb"_s);
    // The requested code is normalised like voice locales.
    EXPECT_EQ(picked({irish, american}, u"en_GB"_s), u"us"_s);
}

TEST(VoicesTest, PickNeverChoosesNoveltyOrOtherLanguagesAndRanksEloquenceLast) {
    const auto eloquence = voice(u"com.vendor.eloquence.en-US.Flo"_s, u"Flo"_s, u"en-US"_s, 3);
    const auto plain = voice(u"plain"_s, u"Zed"_s, u"en-AU"_s, 1);
    const auto novelty = voice(u"whisper"_s, u"Whisper"_s, u"en-US"_s, 3, true);
    EXPECT_EQ(picked({eloquence, novelty, plain}, u"en"_s, eloquence.identifier), u"plain"_s);
    EXPECT_EQ(picked({eloquence}, u"en"_s), eloquence.identifier);
    EXPECT_EQ(picked({novelty}, u"en"_s), u"<none>"_s);
    EXPECT_EQ(picked({plain}, u"de"_s), u"<none>"_s);
    EXPECT_EQ(picked({}, u"en"_s), u"<none>"_s);
    // Chinese variants are kept apart.
    const auto mandarin = voice(u"zh"_s, u"Ting"_s, u"zh-Hans-CN"_s, 1);
    const auto taiwan = voice(u"tw"_s, u"Mei"_s, u"zh_TW"_s, 1);
    EXPECT_EQ(picked({taiwan, mandarin}, u"zh"_s), u"zh"_s);
    EXPECT_EQ(picked({mandarin, taiwan}, u"zh-TW"_s), u"tw"_s);
}

TEST(VoicesTest, PickBreaksTiesByNameThenByOrder) {
    const auto b = voice(u"1"_s, u"Bert"_s, u"de-AT"_s, 1);
    const auto a = voice(u"2"_s, u"Anna"_s, u"de-CH"_s, 1);
    const auto twin = voice(u"3"_s, u"Anna"_s, u"de-LU"_s, 1);
    EXPECT_EQ(picked({b, a, twin}, u"de"_s), u"2"_s);
    EXPECT_EQ(picked({b, twin, a}, u"de"_s), u"3"_s);
}
