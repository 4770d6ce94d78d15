// Which English word of a German word's senses is a word's own in another spelling: the sense
// a route through German keeps when the German word has several.
#include "Routes.h"

#include <gtest/gtest.h>

namespace tivela::packbuild {
namespace {

struct CognateCase {
    const char* word;
    const char* english;
    bool cognate;
};

class CognateTest : public testing::TestWithParam<CognateCase> {};

TEST_P(CognateTest, TellsOneWordInTwoSpellings) {
    const CognateCase& c = GetParam();
    EXPECT_EQ(cognate(QString::fromUtf8(c.word), QString::fromUtf8(c.english)), c.cognate)
        << c.word << " / " << c.english;
}

INSTANTIATE_TEST_SUITE_P(
    Words, CognateTest,
    testing::Values(
        CognateCase{"perspektiv", "perspective", true}, CognateCase{"teologi", "theology", true},
        CognateCase{"debatt", "debate", true}, CognateCase{"analysera", "analyze", true},
        CognateCase{"kwaliteit", "quality", true}, CognateCase{"informatie", "information", true},
        CognateCase{"symbolisch", "symbolic", true}, CognateCase{"domein", "domain", true},
        // Another word of the German word's senses, however alike its start.
        CognateCase{"förtryck", "oppression", false}, CognateCase{"perspektiv", "prospect", false},
        CognateCase{"formulera", "form", false}, CognateCase{"perfectum", "perfectly", false},
        // Short words share letters by chance; phrases are no one word.
        CognateCase{"hem", "hen", false}, CognateCase{"manifest", "manifest destiny", false}));

} // namespace
} // namespace tivela::packbuild
