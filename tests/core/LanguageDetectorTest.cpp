#include "core/LanguageDetector.h"
#include "core/Languages.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using Hint = LanguageRecognizer::Hint;
using Hypothesis = LanguageRecognizer::Hypothesis;

namespace {

QSet<QString> popular() {
    const QStringList& codes = Languages::popularity();
    return {codes.cbegin(), codes.cend()};
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

TEST(LanguageDetectorTest, SourcesAreDetectedAmongEveryLanguage) {
    RecordingRecognizer recognizer;
    recognizer.answer = {{u"de"_s, 0.9}, {u"en"_s, 0.1}};
    EXPECT_EQ(LanguageDetector::detectAny(u" Der Hund "_s, {u"en"_s, u"es"_s}, recognizer),
              (LanguageDetector::Guess{u"de"_s, 0.9}));
    // No constraint: every language may be named. The hints lead, the popular languages follow
    // at the small weight, and every other language weighs less still.
    EXPECT_TRUE(recognizer.constraints.isEmpty());
    EXPECT_EQ(
        recognizer.hints.mid(0, 4),
        (QList<Hint>{{u"en"_s, 0.5}, {u"es"_s, 0.35}, {u"zh-Hans"_s, 0.02}, {u"zh-Hant"_s, 0.02}}));
    EXPECT_EQ(recognizer.hints.size(), Languages::popularity().size());
    EXPECT_LT(recognizer.others, 1e-6);
    EXPECT_EQ(recognizer.processed, QStringList{u"Der Hund"_s});

    // Without hints the popular languages still weigh more than the rest.
    RecordingRecognizer bare;
    LanguageDetector::detectAny(u"text"_s, {}, bare);
    EXPECT_EQ(bare.hints.size(), Languages::popularity().size());
    EXPECT_EQ(bare.hints.first(), (Hint{u"en"_s, 0.02}));
    EXPECT_FALSE(LanguageDetector::detectAny(u" \n "_s, {u"en"_s}, bare));
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
