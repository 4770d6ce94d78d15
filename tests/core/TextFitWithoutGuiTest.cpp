// Font fitting in a process without a QGuiApplication, as in the bridge host: no font can be
// made, and measuring falls back instead of aborting.
#include "core/TextFit.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(TextFitWithoutGuiTest, NoFontCanBeMade) {
    ASSERT_FALSE(qobject_cast<QGuiApplication*>(QCoreApplication::instance()));
    EXPECT_DOUBLE_EQ(TextMeasure::lineHeight(20), 24);
    EXPECT_EQ(TextMeasure::lines(u"some text\n"_s, 20, 100), TextMeasure::Lines{});
    EXPECT_TRUE(TextMeasure::fits(u"some text"_s, 20, 100, 100));
    EXPECT_FALSE(TextMeasure::fits(u"some text"_s, 20, 1, 100));
    const auto fits = [](double size, double factor) {
        return TextMeasure::fits(u"a long text"_s, size, 50 * factor, 20);
    };
    EXPECT_EQ(FontFit::input.choose(std::nullopt, fits), 32);
}
