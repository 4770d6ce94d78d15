#include "core/Graphemes.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tivela;

namespace {

struct Cut {
    const char16_t* text;
    qsizetype count;
    // The text's first `count` characters, and how many it has in all.
    const char16_t* first;
    qsizetype characters;
};

void PrintTo(const Cut& cut, std::ostream* out) {
    *out << QString::fromUtf16(cut.text).toStdString() << " / " << cut.count;
}

class GraphemesTest : public ::testing::TestWithParam<Cut> {};

} // namespace

TEST_P(GraphemesTest, CutsOnlyBetweenWholeCharacters) {
    const QString text = QString::fromUtf16(GetParam().text);
    const QString first = QString::fromUtf16(GetParam().first);
    EXPECT_EQ(Graphemes::first(text, GetParam().count), first);
    EXPECT_EQ(Graphemes::longerThan(text, GetParam().count), first != text);
    EXPECT_EQ(Graphemes::boundaryAfter(text, GetParam().count), first != text ? first.size() : -1);
    EXPECT_EQ(Graphemes::count(text), GetParam().characters);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GraphemesTest,
    ::testing::Values(Cut{u"", 0, u"", 0}, Cut{u"", 3, u"", 0}, Cut{u"abc", 0, u"", 3},
                      Cut{u"abc", -1, u"", 3}, Cut{u"abc", 2, u"ab", 3}, Cut{u"abc", 3, u"abc", 3},
                      Cut{u"abc", 9, u"abc", 3},
                      // A letter with a combining accent, then a precomposed one.
                      Cut{u"e\u0301t\u00e9", 1, u"e\u0301", 3},
                      // More code units than characters, and no more characters than asked.
                      Cut{u"e\u0301e\u0301", 2, u"e\u0301e\u0301", 2},
                      // A family joined by zero-width joiners, a skin tone, two flags.
                      Cut{u"👨‍👩‍👧x", 1, u"👨‍👩‍👧", 2},
                      Cut{u"a👍🏽b", 2, u"a👍🏽", 3}, Cut{u"🇩🇪🇫🇷", 1, u"🇩🇪", 2},
                      // A line break of two characters is one.
                      Cut{u"\r\nx", 1, u"\r\n", 2}));
