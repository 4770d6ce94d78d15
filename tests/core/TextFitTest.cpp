#include "core/TextFit.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QRegularExpression>

#include <cmath>
#include <limits>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

// The font the measurement uses, for tests that need the width of some text.
double advance(const QString& text, double size) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(int(std::lround(size)));
    return QFontMetricsF(font).horizontalAdvance(text);
}

// A fit test that answers from a table of sizes and records what it was asked.
struct FakeFits {
    QList<double> fitting;       // sizes that fit at full width
    QList<double> fittingNarrow; // sizes that fit with the grow slack taken off
    QList<std::pair<double, double>> asked;

    FontFit::Fits function() {
        return [this](double size, double factor) {
            asked.append({size, factor});
            return (factor == 1.0 ? fitting : fittingNarrow).contains(size);
        };
    }
};

} // namespace

TEST(TextFitTest, Ladders) {
    EXPECT_EQ(FontFit::input.sizes(), (QList<double>{32, 30, 28, 26, 24, 22, 20, 18, 16}));
    EXPECT_EQ(FontFit::output.sizes(), (QList<double>{34, 32, 30, 28, 26, 24, 22, 20, 18, 17}));
    EXPECT_EQ((FontFit{16, 16, 2, 0.1}.sizes()), QList<double>{16});
    EXPECT_EQ((FontFit{12, 16, 2, 0.1}.sizes()), QList<double>{16});
    EXPECT_EQ((FontFit{16.0005, 16, 2, 0.1}.sizes()), QList<double>{16});
    // Steps that never reach the floor still end there, at once.
    EXPECT_EQ((FontFit{32, 16, 0, 0.1}.sizes()), (QList<double>{32, 16}));
    EXPECT_EQ((FontFit{32, 16, -2, 0.1}.sizes()), (QList<double>{32, 16}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ((FontFit{32, 16, nan, 0.1}.sizes()), (QList<double>{32, 16}));
    EXPECT_LE((FontFit{1e12, 0, 1e-3, 0.1}.sizes().size()), 1000);
    EXPECT_EQ((FontFit{1e12, 0, 1e-3, 0.1}.sizes().last()), 0);
    EXPECT_EQ(FontFit::input, (FontFit{32, 16, 2, 0.1}));
    EXPECT_NE(FontFit::input, FontFit::output);
}

TEST(TextFitTest, ChooseFreshTakesTheLargestThatFits) {
    FakeFits fake{{20, 18, 16}, {}, {}};
    EXPECT_EQ(FontFit::input.choose(std::nullopt, fake.function()), 20);
    EXPECT_EQ(fake.asked.first(), (std::pair<double, double>{32, 1}));
    FakeFits nothing;
    EXPECT_EQ(FontFit::input.choose(std::nullopt, nothing.function()), 16);
    EXPECT_EQ(nothing.asked.size(), 9);
    EXPECT_EQ(FontFit::output.choose(std::nullopt, FontFit::Fits()), 17);
}

TEST(TextFitTest, ChooseGrowsOnlyWithSpareWidth) {
    // Fits at 26 with the full width but not with 10 % less: the size stays.
    FakeFits tight{{26, 24, 22}, {24, 22}, {}};
    EXPECT_EQ(FontFit::input.choose(24.0, tight.function()), 24);
    EXPECT_TRUE(tight.asked.contains(std::pair<double, double>(26, 0.9)));
    // With the spare width it grows, to the largest size that has it.
    FakeFits roomy{{28, 26, 24}, {28, 26, 24}, {}};
    EXPECT_EQ(FontFit::input.choose(24.0, roomy.function()), 28);
}

TEST(TextFitTest, ChooseShrinksToTheLargestSmallerSizeThatFits) {
    FakeFits shrink{{20, 18}, {}, {}};
    EXPECT_EQ(FontFit::input.choose(24.0, shrink.function()), 20);
    FakeFits none;
    EXPECT_EQ(FontFit::input.choose(24.0, none.function()), 16);
    EXPECT_EQ(FontFit::input.choose(16.0, none.function()), 16);
}

TEST(TextFitTest, ChooseStartsFromTheNearestSize) {
    // 25 is as near 24 as 26: the larger wins.
    FakeFits tie{{26}, {}, {}};
    EXPECT_EQ(FontFit::input.choose(25.0, tie.function()), 26);
    EXPECT_EQ(tie.asked.first(), (std::pair<double, double>{26, 1}));
    FakeFits above{{32}, {}, {}};
    EXPECT_EQ(FontFit::input.choose(100.0, above.function()), 32);
    FakeFits below{{16}, {}, {}};
    EXPECT_EQ(FontFit::output.choose(2.0, below.function()), 17);
    EXPECT_EQ(below.asked.first(), (std::pair<double, double>{17, 1}));
}

TEST(TextFitTest, LineHeightGrowsWithTheSize) {
    const double small = TextMeasure::lineHeight(16);
    const double large = TextMeasure::lineHeight(32);
    EXPECT_GT(small, 16);
    EXPECT_LT(small, 16 * 1.6);
    EXPECT_NEAR(large / small, 2.0, 0.15);
}

TEST(TextFitTest, LinesCountLineFeedsAndWrapping) {
    const double height = TextMeasure::lineHeight(20);
    EXPECT_EQ(TextMeasure::lines(u"Hello"_s, 20, 1000), (TextMeasure::Lines{height, 1, false}));
    EXPECT_EQ(TextMeasure::lines(u"one\ntwo\nthree"_s, 20, 1000).count, 3);
    // A last line feed opens one more line; other kinds of line end count once each.
    EXPECT_EQ(TextMeasure::lines(u"one\ntwo\n"_s, 20, 1000).count, 3);
    EXPECT_EQ(TextMeasure::lines(u"one\r\ntwo\r\n"_s, 20, 1000).count, 3);
    EXPECT_EQ(TextMeasure::lines(u"one\rtwo\u2029three"_s, 20, 1000).count, 3);
    EXPECT_EQ(TextMeasure::lines(u"\n"_s, 20, 1000).count, 2);
    // Words wrap whole.
    const QString words = u"alpha beta gamma delta epsilon zeta eta theta iota kappa"_s;
    const TextMeasure::Lines wrapped = TextMeasure::lines(words, 20, advance(u"alpha beta "_s, 20));
    EXPECT_GE(wrapped.count, 4);
    EXPECT_FALSE(wrapped.brokenWord);
    EXPECT_DOUBLE_EQ(wrapped.height, wrapped.count * height);
}

TEST(TextFitTest, LongWordsBreakButNotAtDashes) {
    const QString word = u"Donaudampfschifffahrtsgesellschaftskapitän"_s;
    EXPECT_TRUE(TextMeasure::lines(word, 20, advance(word, 20) / 2).brokenWord);
    // A word wider than the box at every size never fits, so the floor is chosen.
    const double width = advance(word, 16) / 2;
    const auto fitsBox = [&](double size, double factor) {
        return TextMeasure::fits(word, size, width * factor, 1000);
    };
    for (const double size : FontFit::input.sizes())
        EXPECT_FALSE(fitsBox(size, 1)) << size;
    EXPECT_EQ(FontFit::input.choose(std::nullopt, fitsBox), 16);

    for (const QString& joined : {u"wellknown-understood"_s, u"input/output"_s, u"long\u2014dash"_s,
                                  u"soft\u00ADhyphen"_s}) {
        const qsizetype at = joined.indexOf(QRegularExpression(u"[-/\u2014\u00AD]"_s)) + 1;
        // Each half fits a line, the whole does not; a soft hyphen shows where it breaks.
        const double halves =
            std::max(advance(joined.left(at) + u"-"_s, 20), advance(joined.mid(at), 20)) + 2;
        const TextMeasure::Lines lines = TextMeasure::lines(joined, 20, halves);
        EXPECT_EQ(lines.count, 2) << joined.toStdString();
        EXPECT_FALSE(lines.brokenWord) << joined.toStdString();
    }
}

TEST(TextFitTest, ScriptsWithoutSpacesWrapAnywhere) {
    const QString japanese = u"今日はとても良い天気なので、公園へ散歩に行きましょう。"_s;
    const QString thai = u"วันนี้อากาศดีมากเราไปเดินเล่นที่สวนสาธารณะกันเถอะ"_s;
    for (const QString& text : {japanese, thai}) {
        const TextMeasure::Lines lines = TextMeasure::lines(text, 20, 120);
        EXPECT_GT(lines.count, 1) << text.toStdString();
        EXPECT_FALSE(lines.brokenWord) << text.toStdString();
        EXPECT_TRUE(TextMeasure::fits(text, 20, 120, lines.height)) << text.toStdString();
    }
    EXPECT_TRUE(TextMeasure::noSpaceScript(U'ก'));
    EXPECT_TRUE(TextMeasure::noSpaceScript(U'ㇰ'));
    EXPECT_TRUE(TextMeasure::noSpaceScript(U'한'));
    EXPECT_TRUE(TextMeasure::noSpaceScript(U'漢'));
    EXPECT_FALSE(TextMeasure::noSpaceScript(U'a'));
    EXPECT_FALSE(TextMeasure::noSpaceScript(U'я'));
    EXPECT_FALSE(TextMeasure::noSpaceScript(U'😀'));
}

TEST(TextFitTest, FitsBoxEdges) {
    EXPECT_FALSE(TextMeasure::fits(u"a"_s, 16, 1, 100));
    EXPECT_FALSE(TextMeasure::fits(u"a"_s, 16, 100, 1));
    EXPECT_FALSE(TextMeasure::fits(u""_s, 16, 1, 100));
    EXPECT_TRUE(TextMeasure::fits(u""_s, 16, 100, 100));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(TextMeasure::fits(u"a"_s, 16, nan, 100));
    // A box of no set height holds any number of lines.
    const double unbounded = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(TextMeasure::fits(u"one\ntwo"_s, 16, 100, unbounded));
    EXPECT_TRUE(TextMeasure::fits(u"one\ntwo"_s, 16, 100, 1e300));
    // Two lines in a box half a point too low still fit; lower than that, they do not.
    const double two = 2 * TextMeasure::lineHeight(20);
    EXPECT_TRUE(TextMeasure::fits(u"one\ntwo"_s, 20, 500, two - 0.5));
    EXPECT_FALSE(TextMeasure::fits(u"one\ntwo"_s, 20, 500, two - 0.6));
    // Surrogate pairs never count as a broken word.
    const QString emoji = QString(u"😀"_s).repeated(40);
    EXPECT_FALSE(TextMeasure::lines(emoji, 20, advance(emoji, 20) / 3).brokenWord);
}

TEST(TextFitTest, FittingLongTextsAgreesWithMeasuringThem) {
    // Fitting lays long texts out in chunks; it must answer as the whole layout does.
    QString text;
    const QStringList words{u"translation"_s, u"of"_s,          u"a"_s,    u"rather"_s, u"long"_s,
                            u"text\n"_s,      u"Übersetzung"_s, u"🙂"_s, u"東京"_s,   u"x"_s};
    for (int i = 0; text.size() < 12000; ++i)
        text += words[(i * 7) % words.size()] + (i % 13 ? u" "_s : u""_s);
    const double width = 300;
    for (const double size : {16.0, 24.0}) {
        const TextMeasure::Lines whole = TextMeasure::lines(text, size, width);
        ASSERT_GT(whole.count, 100);
        for (const double height : {whole.height / 3, whole.height - 1, whole.height + 0.4}) {
            const bool expected = whole.height <= height + 0.5 && !whole.brokenWord;
            EXPECT_EQ(TextMeasure::fits(text, size, width, height), expected)
                << size << " " << height;
        }
    }
    // A word cut in two near the end of a long text is seen although the text fits in height.
    const QString tail = QString(u"word "_s).repeated(2000) + QString(200, u'w');
    const TextMeasure::Lines measured = TextMeasure::lines(tail, 16, width);
    EXPECT_TRUE(measured.brokenWord);
    EXPECT_FALSE(TextMeasure::fits(tail, 16, width, measured.height + 10));
}

TEST(TextFitTest, ChooseOnRealText) {
    const QString sentence = u"The quick brown fox jumps over the lazy dog."_s;
    const double width = 360;
    const double height = 120;
    const auto fitsBox = [&](const QString& text) {
        return [&, text](double size, double factor) {
            return TextMeasure::fits(text, size, width * factor, height);
        };
    };
    const double shortSize = FontFit::input.choose(std::nullopt, fitsBox(u"Hello"_s));
    const double sentenceSize = FontFit::input.choose(std::nullopt, fitsBox(sentence));
    const double longSize =
        FontFit::input.choose(std::nullopt, fitsBox(QString(sentence + u" "_s).repeated(4)));
    EXPECT_EQ(shortSize, 32);
    EXPECT_LE(sentenceSize, shortSize);
    EXPECT_LT(longSize, sentenceSize);
    // The chosen size fits, and the next larger one does not.
    const QString text = QString(sentence + u" "_s).repeated(2);
    const double chosen = FontFit::input.choose(std::nullopt, fitsBox(text));
    EXPECT_TRUE(TextMeasure::fits(text, chosen, width, height));
    if (chosen < 32) {
        EXPECT_FALSE(TextMeasure::fits(text, chosen + 2, width, height));
    }
    // Refitting with the size in use keeps it.
    EXPECT_EQ(FontFit::input.choose(chosen, fitsBox(text)), chosen);
}
