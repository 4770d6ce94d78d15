// Which English word of a German word's senses is a word's own in another spelling: the sense
// a route through German keeps when the German word has several. And a second route through
// Danish, on sample dictionaries (tests/data/packbuild/routes): it picks the sense of an
// ambiguous German word that it reaches too, and stands alone only where it reaches one word or
// the word's own in another spelling.
#include "Routes.h"

#include "English.h"
#include "SecondRoute.h"

#include <gtest/gtest.h>

#include <QMap>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

QString samples() {
    return qEnvironmentVariable("TIVELA_SOURCE_DIR") + u"/tests/data/packbuild"_s;
}

QMultiMap<QString, QString> byWord(const QList<Pair>& pairs) {
    QMultiMap<QString, QString> found;
    for (const Pair& pair : pairs)
        found.insert(pair.term, pair.english);
    return found;
}

TEST(SecondRouteTest, AgreesWithGermanOrStandsAloneWhereUnambiguous) {
    English english;
    QString error;
    ASSERT_TRUE(english.load(samples() + u"/wordnet"_s, &error)) << error.toStdString();
    const QString dictd = samples() + u"/routes"_s;
    Ding ding;
    ding.load(dictd);
    GermanWords swedish;
    ASSERT_FALSE(swedish.load(dictd, u"swe"_s, u"sv"_s).isEmpty());
    SecondRoute danish;
    EXPECT_EQ(danish.loadDictionary(dictd + u"/freedict-dan-eng"_s, u"dan"_s), u"0.1"_s);
    EXPECT_FALSE(SecondRoute().loadDictionary(dictd + u"/freedict-fin-eng"_s, u"fin"_s));
    danish.addTranslation(u"hem"_s, u"hjem"_s, u"noun"_s);
    danish.addTranslation(u"afton"_s, u"aften"_s, u"noun"_s);
    danish.addTranslation(u"löpa"_s, u"løbe"_s, u"verb"_s);
    danish.addTranslation(u"kulör"_s, u"farve"_s, u"noun"_s);
    // A translation of another part of speech reaches none of the article's words.
    danish.addTranslation(u"hemma"_s, u"hjem"_s, u"adv"_s);

    // "Heim" is a house as often as a home: alone, the route through German keeps neither.
    EXPECT_TRUE(routesThroughGerman(swedish, ding, english, 0).isEmpty());
    EXPECT_EQ(byWord(routesThroughGerman(swedish, ding, english, 0, &danish)),
              (QMultiMap<QString, QString>{{u"hem"_s, u"home"_s}}));
    // "løbe" is to race and to run, in no order of use; of "farve"'s words, "kulör" is "color"
    // in another spelling.
    EXPECT_EQ(byWord(routesThroughSecond(danish, english, 0)),
              (QMultiMap<QString, QString>{
                  {u"afton"_s, u"evening"_s}, {u"hem"_s, u"home"_s}, {u"kulör"_s, u"color"_s}}));
}

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
