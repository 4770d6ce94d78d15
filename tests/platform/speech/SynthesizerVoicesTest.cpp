#include "platform/speech/SynthesizerVoices.h"
#include "support/FakeSpeech.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(SynthesizerVoicesTest, LanguageTagsAreCanonicalWithChineseFolded) {
    const std::pair<const char*, const char*> cases[] = {
        {"en-US", "en-US"},
        {"en-gb-x-rp", "en-GB-x-rp"},
        {"EN_us", "en-US"},
        {"es-419", "es-419"},
        {"pt_br", "pt-BR"},
        {"cmn", "zh"},
        {"cmn-LATN-PINYIN", "zh-Latn-pinyin"},
        {"yue", "zh-TW"},
        {"yue-HK", "zh-HK"},
        {"yue-Latn-jyutping", "zh-Latn-TW-jyutping"},
        {"chr-US-QAAA-X-WEST", "chr-US-qaaa-x-west"},
        {"hyw", "hyw"},
        {"--", ""},
        {"", ""},
    };
    for (const auto& [raw, expected] : cases)
        EXPECT_EQ(SynthesizerVoices::languageTag(QString::fromUtf8(raw)),
                  QString::fromUtf8(expected))
            << raw;
    // Whatever the form, the system's codes come out as the ranking expects.
    EXPECT_EQ(Voices::code(SynthesizerVoices::languageTag(u"yue-Latn-jyutping"_s)), u"zh-TW"_s);
    EXPECT_EQ(Voices::code(SynthesizerVoices::languageTag(u"cmn-latn-pinyin"_s)), u"zh"_s);
}

TEST(SynthesizerVoicesTest, VoicesAsTheDaemonListsThem) {
    const auto base =
        SynthesizerVoices::voice(u"espeak-ng"_s, u"English (America)"_s, u"en-US"_s, u"none"_s);
    EXPECT_EQ(base, (Voices::Voice{u"espeak-ng/English (America)"_s, u"English (America)"_s,
                                   u"en-US"_s, 1, false}));
    // espeak-ng's variants are novelty voices; another module's variant is a plain attribute.
    EXPECT_TRUE(SynthesizerVoices::voice(u"espeak-ng"_s, u"Afrikaans+Adam"_s, u"af"_s, u"Adam"_s)
                    .isNovelty);
    EXPECT_TRUE(SynthesizerVoices::voice(u"espeak"_s, u"en"_s, u"en"_s, u"whisper"_s).isNovelty);
    const auto anna = SynthesizerVoices::voice(u"rhvoice"_s, u"Anna"_s, u"ru"_s, u"female"_s);
    EXPECT_FALSE(anna.isNovelty);
    // Quality follows the module: formant 1, diphone and unit selection 2, neural 3.
    EXPECT_EQ(anna.quality, 2);
    EXPECT_EQ(SynthesizerVoices::voice(u"espeak-ng-mbrola"_s, u"de2"_s, u"de"_s, {}).quality, 2);
    EXPECT_EQ(SynthesizerVoices::voice(u"piper"_s, u"thorsten"_s, u"de-DE"_s, {}).quality, 3);

    const auto parts = SynthesizerVoices::split(u"espeak-ng/a/b"_s);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->first, u"espeak-ng"_s);
    EXPECT_EQ(parts->second, u"a/b"_s);
    for (const QString& foreign : {u"com.vendor.voice"_s, u"/name"_s, u"module/"_s})
        EXPECT_FALSE(SynthesizerVoices::split(foreign)) << foreign.toStdString();
}

TEST(SynthesizerVoicesTest, DefaultVoiceIsTheBaseVoiceOfThePreferredRegionElseTheBareCode) {
    const auto v = [](const char* name, const char* tag, const char* variant = "none") {
        return SynthesizerVoices::voice(u"espeak-ng"_s, QString::fromUtf8(name),
                                        QString::fromUtf8(tag), QString::fromUtf8(variant));
    };
    const QList<Voices::Voice> voices{
        v("English (America)+whisper", "en-US", "whisper"),
        v("English (Great Britain)", "en-GB"),
        v("English (America)", "en-US"),
        v("German", "de"),
        v("Chinese (Mandarin, latin as Pinyin)", "cmn-latn-pinyin"),
        v("Chinese (Mandarin, latin as English)", "cmn"),
        v("Chinese (Cantonese)", "yue"),
    };
    // The fake keeps the rule of the interface.
    const test::FakeSpeech backend;
    const auto chosen = [&](const char* code) {
        return backend.defaultVoice(QString::fromUtf8(code), voices).value_or(u"<none>"_s);
    };
    EXPECT_EQ(chosen("en"), u"espeak-ng/English (America)"_s);
    EXPECT_EQ(chosen("en-GB"), u"espeak-ng/English (America)"_s); // asked as a language, "en"
    EXPECT_EQ(chosen("de"), u"espeak-ng/German"_s);
    EXPECT_EQ(chosen("zh"), u"espeak-ng/Chinese (Mandarin, latin as English)"_s);
    EXPECT_EQ(chosen("zh-TW"), u"espeak-ng/Chinese (Cantonese)"_s);
    EXPECT_EQ(chosen("fr"), u"<none>"_s);
}
