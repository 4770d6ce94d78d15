#include "platform/Defaults.h"

#include "core/Languages.h"

#include <gtest/gtest.h>

#include <QtConcurrent>

#include <numeric>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

QSet<QString> popular() {
    const QStringList& codes = Languages::popularity();
    return {codes.cbegin(), codes.cend()};
}

std::string detected(const QString& text, const QSet<QString>& allowed, const QStringList& hints) {
    const auto guess = Defaults::detect(text, allowed, hints);
    return guess ? guess->code.toStdString() : "?";
}

} // namespace

// Detection as both programs get it: the detector on CLD2 and the installed analysers.
TEST(DefaultDetectionTest, BlankAndLetterlessTexts) {
    EXPECT_FALSE(Defaults::detect(u""_s, popular(), {}));
    EXPECT_FALSE(Defaults::detect(u"   "_s, popular(), {}));
    EXPECT_FALSE(Defaults::detect(u"12:45 — 3.14 !!! 😀"_s, popular(), {u"en"_s}));
}

TEST(DefaultDetectionTest, SentencesWithoutHints) {
    const std::pair<const char*, const char*> table[] = {
        {"Добрый день, как дела?", "ru"},
        {"Where is the nearest train station?", "en"},
        {"¿Dónde está la biblioteca?", "es"},
        {"Wo ist der Bahnhof?", "de"},
        {"東京は日本の首都です。", "ja"},
        {"Привіт, як справи? Що нового?", "uk"},
        {"Bonjour, comment allez-vous aujourd'hui?", "fr"},
    };
    for (const auto& [text, expected] : table)
        EXPECT_EQ(detected(QString::fromUtf8(text), popular(), {}), expected) << text;
}

TEST(DefaultDetectionTest, SentencesOutweighTheHints) {
    EXPECT_EQ(detected(u"Wo ist der Bahnhof?"_s, popular(), {u"ru"_s, u"en"_s}), "de");
    EXPECT_EQ(detected(u"Where is the nearest train station?"_s, popular(), {u"de"_s, u"es"_s}),
              "en");
    const auto guess = Defaults::detect(
        u"Der schnelle braune Fuchs springt über den faulen Hund, und alle sehen zu."_s, popular(),
        {u"en"_s, u"es"_s});
    ASSERT_TRUE(guess);
    EXPECT_EQ(guess->code, u"de"_s);
    EXPECT_GT(guess->confidence, 0.9);
}

TEST(DefaultDetectionTest, SingleWordsLeanToThePair) {
    EXPECT_EQ(detected(u"Hand"_s, popular(), {u"ru"_s, u"en"_s}), "en");
    EXPECT_EQ(detected(u"Haus"_s, popular(), {u"de"_s, u"en"_s}), "de");
    EXPECT_EQ(detected(u"maison"_s, popular(), {u"fr"_s, u"en"_s}), "fr");
    // The script decides before the hints: a Hebrew word is Hebrew whatever the pair.
    EXPECT_EQ(detected(u"שלום"_s, popular(), {u"ru"_s, u"en"_s}), "he");
    EXPECT_EQ(detected(u"кот"_s, popular(), {u"en"_s, u"uk"_s}), "uk");
    EXPECT_EQ(detected(u"кот"_s, popular(), {u"en"_s, u"de"_s}), "ru");
    EXPECT_EQ(detected(u"γάτα"_s, popular(), {u"en"_s, u"de"_s}), "el");
    // One letter still gives a guess.
    const auto letter = Defaults::detect(u"a"_s, popular(), {u"es"_s, u"en"_s});
    ASSERT_TRUE(letter);
    EXPECT_EQ(letter->code, u"es"_s);
    EXPECT_GT(letter->confidence, 0.0);
    EXPECT_LE(letter->confidence, 1.0);
}

TEST(DefaultDetectionTest, ChineseAndJapanese) {
    const QString simplified = u"我们今天去公园散步，天气非常好。"_s;
    const QString traditional = u"我們今天去公園散步，天氣非常好。"_s;
    EXPECT_EQ(detected(simplified, {u"en"_s, u"zh"_s}, {}), "zh");
    EXPECT_EQ(detected(traditional, {u"zh-TW"_s}, {}), "zh-TW");
    EXPECT_EQ(detected(traditional, popular(), {}), "zh-TW");
    // Kana means Japanese, even among many Han characters.
    EXPECT_EQ(detected(u"漢字漢字漢字漢字の"_s, popular(), {u"zh"_s}), "ja");
    // Han alone is Chinese or Japanese; the hints choose among them on a short text.
    EXPECT_EQ(detected(u"中国"_s, popular(), {u"en"_s, u"ja"_s}), "ja");
    EXPECT_EQ(detected(u"中国"_s, popular(), {u"zh-TW"_s, u"en"_s}), "zh-TW");
    EXPECT_EQ(detected(u"中国"_s, {u"en"_s, u"zh"_s}, {u"en"_s}), "zh");
}

TEST(DefaultDetectionTest, OnlyAllowedLanguagesOfTheTextsScript) {
    // Russian is not allowed; no allowed language writes Cyrillic.
    EXPECT_FALSE(
        Defaults::detect(u"Добрый день! Как у вас дела сегодня?"_s, {u"en"_s, u"es"_s}, {u"en"_s}));
    // A German sentence among languages that exclude German goes to an allowed Latin one.
    const QString german = u"Wo ist der Bahnhof? Ich muss heute noch nach Berlin fahren."_s;
    const std::string code = detected(german, {u"en"_s, u"es"_s, u"nl"_s}, {});
    EXPECT_TRUE(code == "en" || code == "es" || code == "nl") << code;
    // Nothing allowed means everything is: CLD2's whole range, beyond the popular languages.
    EXPECT_EQ(detected(u"Dit is 'n baie mooi dag vandag en ons gaan see toe."_s, {}, {}), "af");
}

TEST(DefaultDetectionTest, MalformedText) {
    // Invalid UTF-8 turned into replacement characters, and lone surrogates.
    const QString replaced = QString::fromUtf8("\xff\xfe\xc3 Hund \xed\xa0\x80");
    EXPECT_EQ(detected(replaced, popular(), {u"de"_s, u"en"_s}), "de");
    const QChar lone[] = {QChar(0xD800), u'a', QChar(0xDC00), u'b'};
    EXPECT_NO_FATAL_FAILURE(Defaults::detect(QString(lone, 4), popular(), {u"en"_s}));
    EXPECT_FALSE(Defaults::detect(QString(lone, 1), popular(), {u"en"_s}));
}

TEST(DefaultDetectionTest, EqualCandidatesFallBackToHintOrderThenPopularity) {
    // A word CLD2 cannot place leaves only the priors; equal priors go by popularity.
    EXPECT_EQ(detected(u"zzq"_s, popular(), {}), "en");
    EXPECT_EQ(detected(u"zzq"_s, {u"sv"_s, u"da"_s, u"nl"_s}, {}), "nl");
    EXPECT_EQ(detected(u"zzq"_s, {u"sv"_s, u"da"_s}, {u"ru"_s, u"da"_s, u"sv"_s}), "da");
}

TEST(DefaultDetectionTest, ManyThreadsAtOnce) {
    QList<int> runs(64);
    std::iota(runs.begin(), runs.end(), 0);
    const QList<std::string> codes = QtConcurrent::blockingMapped(runs, [](int i) {
        return i % 2 ? detected(u"Wo ist der Bahnhof?"_s, popular(), {u"en"_s})
                     : detected(u"¿Dónde está la biblioteca?"_s, popular(), {u"en"_s});
    });
    for (qsizetype i = 0; i < codes.size(); ++i)
        EXPECT_EQ(codes[i], i % 2 ? "de" : "es");
}
