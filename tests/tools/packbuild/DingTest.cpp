// Ding's English-German pairs and a language's German words, read from sample dictionaries:
// a translation is confirmed in as many dictionaries with German as give a German word that
// Ding pairs with the English word, never through a special use.
#include "Ding.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

QString dictd() {
    return qEnvironmentVariable("TIVELA_SOURCE_DIR") + u"/tests/data/packbuild/dictd"_s;
}

TEST(DingTest, GermanConfirmsTranslationsThatDingPairs) {
    Ding ding;
    EXPECT_FALSE(ding.isLoaded());
    ding.load(dictd());
    ASSERT_TRUE(ding.isLoaded());
    const auto pairs = [&](const char* english, const char* german) {
        return ding.pairs(QString::fromUtf8(english), Ding::germanHash(QString::fromUtf8(german)));
    };
    // Both of Ding's dictionaries, a zoologist's label is no special use; a trade's and a
    // region's are.
    EXPECT_TRUE(pairs("dog", "hund"));
    EXPECT_TRUE(pairs("dog", "bandhaken"));
    EXPECT_TRUE(pairs("mine car", "hund"));
    EXPECT_FALSE(pairs("dog", "auflagebock"));
    EXPECT_FALSE(pairs("corf", "hund"));
    EXPECT_FALSE(pairs("house", "hund"));

    GermanWords swedish;
    const QStringList names = swedish.load(dictd(), u"swe"_s, u"sv"_s);
    EXPECT_EQ(names, (QStringList{u"swe-deu 0.1"_s, u"deu-swe 0.1"_s}));
    EXPECT_EQ(swedish.confirmations(ding, u"hund"_s, u"dog"_s), 2);
    EXPECT_EQ(swedish.confirmations(ding, u"hund"_s, u"house"_s), 0);
    // The German definition under the terms is no word of the language.
    EXPECT_EQ(swedish.confirmations(ding, u"haustier"_s, u"dog"_s), 0);

    GermanWords none;
    EXPECT_TRUE(none.load(dictd(), u"fin"_s, u"fi"_s).isEmpty());
    EXPECT_EQ(none.confirmations(ding, u"hund"_s, u"dog"_s), 0);
}

} // namespace
} // namespace tivela::packbuild
