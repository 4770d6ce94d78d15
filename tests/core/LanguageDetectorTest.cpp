#include "core/LanguageDetector.h"
#include "core/Languages.h"

#include <gtest/gtest.h>

#include <QtConcurrent>

#include <numeric>

using namespace tivela;
using namespace Qt::StringLiterals;
using Hint = LanguageRecognizer::Hint;
using Hypothesis = LanguageRecognizer::Hypothesis;

namespace {

QSet<QString> popular() {
    const QStringList& codes = Languages::popularity();
    return {codes.cbegin(), codes.cend()};
}

std::string detected(const QString& text, const QSet<QString>& allowed, const QStringList& hints) {
    const auto guess = LanguageDetector::detect(text, allowed, hints);
    return guess ? guess->code.toStdString() : "?";
}

// Records what the detector tells it and answers with hypotheses set by the test.
class RecordingRecognizer final : public LanguageRecognizer {
public:
    void setLanguageConstraints(const QStringList& identifiers) override {
        constraints = identifiers;
    }
    void setLanguageHints(const QList<Hint>& given, double othersWeight) override {
        hints = given;
        others = othersWeight;
        hinted = true;
    }
    void processString(QStringView text) override { processed << text.toString(); }
    QList<Hypothesis> languageHypotheses(int maximum) const override {
        asked = maximum;
        return answer;
    }

    QStringList constraints;
    QList<Hint> hints;
    double others = -1;
    bool hinted = false;
    QStringList processed;
    QList<Hypothesis> answer;
    mutable int asked = 0;
};

} // namespace

namespace tivela::LanguageDetector {
void PrintTo(const Guess& guess, std::ostream* out) {
    *out << guess.code.toStdString() << " " << guess.confidence;
}
} // namespace tivela::LanguageDetector

namespace tivela {
void PrintTo(const LanguageRecognizer::Hint& hint, std::ostream* out) {
    *out << hint.identifier.toStdString() << " " << hint.weight;
}
} // namespace tivela

TEST(LanguageDetectorTest, HintWeights) {
    const QSet<QString> allowed{u"en"_s, u"de"_s, u"fr"_s, u"zh"_s};
    EXPECT_EQ(
        LanguageDetector::hintWeights(allowed, {u"de"_s, u"en"_s}),
        (QList<Hint>{{u"de"_s, 0.5}, {u"en"_s, 0.35}, {u"zh-Hans"_s, 0.02}, {u"fr"_s, 0.02}}));
    // A repeated hint keeps its place and ends at the later weight.
    EXPECT_EQ(LanguageDetector::hintWeights(allowed, {u"de"_s, u"de"_s}).first(),
              (Hint{u"de"_s, 0.35}));
    // A hint outside the allowed set is weighted all the same; Chinese goes by platform name.
    EXPECT_EQ(LanguageDetector::hintWeights({u"en"_s}, {u"zh-TW"_s}),
              (QList<Hint>{{u"zh-Hant"_s, 0.5}, {u"en"_s, 0.02}}));
    EXPECT_TRUE(LanguageDetector::hintWeights(allowed, {}).isEmpty());
}

TEST(LanguageDetectorTest, TellsTheRecognizerWhatThePlatformExpects) {
    RecordingRecognizer recognizer;
    recognizer.answer = {{u"iw"_s, 0.2}, {u"zh-Hant"_s, 0.7}, {u"en"_s, 0.7}};
    const QString longText = QString(u"  "_s + QString(2500, u'é') + u"\n"_s);
    const auto guess =
        LanguageDetector::detect(longText, {u"zh-TW"_s, u"en"_s, u"he"_s}, {u"en"_s}, recognizer);
    ASSERT_TRUE(guess);
    // The highest probability wins; of two equal ones the recogniser's first; its identifiers
    // come back as the system's codes.
    EXPECT_EQ(*guess, (LanguageDetector::Guess{u"zh-TW"_s, 0.7}));
    EXPECT_EQ(recognizer.constraints, (QStringList{u"en"_s, u"zh-Hant"_s, u"he"_s}));
    EXPECT_EQ(recognizer.others, 0.02);
    EXPECT_EQ(recognizer.asked, 3);
    ASSERT_EQ(recognizer.processed.size(), 1);
    EXPECT_EQ(recognizer.processed.first(), QString(2000, u'é'));

    // Without hints the recogniser gets none, not even the small weights; without allowed
    // codes it is not constrained.
    RecordingRecognizer bare;
    EXPECT_FALSE(LanguageDetector::detect(u"text"_s, {}, {}, bare));
    EXPECT_FALSE(bare.hinted);
    EXPECT_TRUE(bare.constraints.isEmpty());
}

TEST(LanguageDetectorTest, CutsAtCharactersNotCodeUnits) {
    RecordingRecognizer recognizer;
    // An "e" with a combining accent is one character of two units; a flag is one of four.
    const QString accented = u"e\u0301"_s;
    const QString flag = u"🇩🇪"_s;
    QString text;
    for (int i = 0; i < 1500; ++i)
        text += accented + flag;
    LanguageDetector::detect(text, {}, {}, recognizer);
    ASSERT_EQ(recognizer.processed.size(), 1);
    EXPECT_EQ(recognizer.processed.first(), text.left(1000 * 6));
}

TEST(LanguageDetectorTest, BlankAndLetterlessTexts) {
    RecordingRecognizer recognizer;
    EXPECT_FALSE(LanguageDetector::detect(u" \n\t "_s, popular(), {u"en"_s}, recognizer));
    EXPECT_TRUE(recognizer.processed.isEmpty()); // blank text never reaches the recogniser
    EXPECT_FALSE(LanguageDetector::detect(u""_s, popular(), {}));
    EXPECT_FALSE(LanguageDetector::detect(u"   "_s, popular(), {}));
    EXPECT_FALSE(LanguageDetector::detect(u"12:45 — 3.14 !!! 😀"_s, popular(), {u"en"_s}));
}

TEST(LanguageDetectorTest, SentencesWithoutHints) {
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

TEST(LanguageDetectorTest, SentencesOutweighTheHints) {
    EXPECT_EQ(detected(u"Wo ist der Bahnhof?"_s, popular(), {u"ru"_s, u"en"_s}), "de");
    EXPECT_EQ(detected(u"Where is the nearest train station?"_s, popular(), {u"de"_s, u"es"_s}),
              "en");
    const auto guess = LanguageDetector::detect(
        u"Der schnelle braune Fuchs springt über den faulen Hund, und alle sehen zu."_s, popular(),
        {u"en"_s, u"es"_s});
    ASSERT_TRUE(guess);
    EXPECT_EQ(guess->code, u"de"_s);
    EXPECT_GT(guess->confidence, 0.9);
}

TEST(LanguageDetectorTest, SingleWordsLeanToThePair) {
    EXPECT_EQ(detected(u"Hand"_s, popular(), {u"ru"_s, u"en"_s}), "en");
    EXPECT_EQ(detected(u"Haus"_s, popular(), {u"de"_s, u"en"_s}), "de");
    EXPECT_EQ(detected(u"maison"_s, popular(), {u"fr"_s, u"en"_s}), "fr");
    // The script decides before the hints: a Hebrew word is Hebrew whatever the pair.
    EXPECT_EQ(detected(u"שלום"_s, popular(), {u"ru"_s, u"en"_s}), "he");
    EXPECT_EQ(detected(u"кот"_s, popular(), {u"en"_s, u"uk"_s}), "uk");
    EXPECT_EQ(detected(u"кот"_s, popular(), {u"en"_s, u"de"_s}), "ru");
    EXPECT_EQ(detected(u"γάτα"_s, popular(), {u"en"_s, u"de"_s}), "el");
    // One letter still gives a guess.
    const auto letter = LanguageDetector::detect(u"a"_s, popular(), {u"es"_s, u"en"_s});
    ASSERT_TRUE(letter);
    EXPECT_EQ(letter->code, u"es"_s);
    EXPECT_GT(letter->confidence, 0.0);
    EXPECT_LE(letter->confidence, 1.0);
}

TEST(LanguageDetectorTest, ChineseAndJapanese) {
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

TEST(LanguageDetectorTest, OnlyAllowedLanguagesOfTheTextsScript) {
    // Russian is not allowed; no allowed language writes Cyrillic.
    EXPECT_FALSE(LanguageDetector::detect(u"Добрый день! Как у вас дела сегодня?"_s,
                                          {u"en"_s, u"es"_s}, {u"en"_s}));
    // A German sentence among languages that exclude German goes to an allowed Latin one.
    const QString german = u"Wo ist der Bahnhof? Ich muss heute noch nach Berlin fahren."_s;
    const std::string code = detected(german, {u"en"_s, u"es"_s, u"nl"_s}, {});
    EXPECT_TRUE(code == "en" || code == "es" || code == "nl") << code;
    // Nothing allowed means everything is: CLD2's whole range, beyond the popular languages.
    EXPECT_EQ(detected(u"Dit is 'n baie mooi dag vandag en ons gaan see toe."_s, {}, {}), "af");
}

TEST(LanguageDetectorTest, MalformedText) {
    // Invalid UTF-8 turned into replacement characters, and lone surrogates.
    const QString replaced = QString::fromUtf8("\xff\xfe\xc3 Hund \xed\xa0\x80");
    EXPECT_EQ(detected(replaced, popular(), {u"de"_s, u"en"_s}), "de");
    const QChar lone[] = {QChar(0xD800), u'a', QChar(0xDC00), u'b'};
    EXPECT_NO_FATAL_FAILURE(LanguageDetector::detect(QString(lone, 4), popular(), {u"en"_s}));
    EXPECT_FALSE(LanguageDetector::detect(QString(lone, 1), popular(), {u"en"_s}));
}

TEST(LanguageDetectorTest, EqualCandidatesFallBackToHintOrderThenPopularity) {
    // A word CLD2 cannot place leaves only the priors; equal priors go by popularity.
    EXPECT_EQ(detected(u"zzq"_s, popular(), {}), "en");
    EXPECT_EQ(detected(u"zzq"_s, {u"sv"_s, u"da"_s, u"nl"_s}, {}), "nl");
    EXPECT_EQ(detected(u"zzq"_s, {u"sv"_s, u"da"_s}, {u"ru"_s, u"da"_s, u"sv"_s}), "da");
}

TEST(LanguageDetectorTest, ManyThreadsAtOnce) {
    QList<int> runs(64);
    std::iota(runs.begin(), runs.end(), 0);
    const QList<std::string> codes = QtConcurrent::blockingMapped(runs, [](int i) {
        return i % 2 ? detected(u"Wo ist der Bahnhof?"_s, popular(), {u"en"_s})
                     : detected(u"¿Dónde está la biblioteca?"_s, popular(), {u"en"_s});
    });
    for (qsizetype i = 0; i < codes.size(); ++i)
        EXPECT_EQ(codes[i], i % 2 ? "de" : "es");
}

TEST(LanguageDetectorTest, SingleWord) {
    EXPECT_TRUE(LanguageDetector::isSingleWord(u"  word  "_s));
    EXPECT_TRUE(LanguageDetector::isSingleWord(u"give up"_s));
    EXPECT_TRUE(LanguageDetector::isSingleWord(u"l'homme"_s));
    EXPECT_TRUE(LanguageDetector::isSingleWord(QString(40, u'a')));
    EXPECT_FALSE(LanguageDetector::isSingleWord(QString(41, u'a')));
    EXPECT_FALSE(LanguageDetector::isSingleWord(u"a b c"_s));
    EXPECT_FALSE(LanguageDetector::isSingleWord(u"a\u00A0b\tc"_s)); // any whitespace splits
    EXPECT_FALSE(LanguageDetector::isSingleWord(u"word!"_s));
    EXPECT_FALSE(LanguageDetector::isSingleWord(u"a.b"_s));
    EXPECT_FALSE(LanguageDetector::isSingleWord(u"re:"_s));
    EXPECT_FALSE(LanguageDetector::isSingleWord(u""_s));
    EXPECT_FALSE(LanguageDetector::isSingleWord(u" \n "_s));
    // Forty characters as the user sees them, though more code units.
    QString accented;
    for (int i = 0; i < 40; ++i)
        accented += u"e\u0301"_s;
    EXPECT_TRUE(LanguageDetector::isSingleWord(accented));
    EXPECT_FALSE(LanguageDetector::isSingleWord(QString(accented + u"x"_s)));
}
