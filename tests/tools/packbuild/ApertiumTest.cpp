// Apertium's own programs on its installed English-Spanish data: the written form of a
// feminine that the bilingual dictionaries write as its masculine lemma, and homonyms' numbers.
#include "Apertium.h"
#include "ApertiumPairs.h"

#include <gtest/gtest.h>

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

TEST(ApertiumTest, AFeminineIsWrittenAsTheLanguageWritesIt) {
    const QString generator = u"/usr/share/apertium/apertium-eng-spa/eng-spa.autogen.bin"_s;
    if (!QFileInfo::exists(generator))
        GTEST_SKIP() << "apertium-eng-spa is not installed";
    // "girl" is "chico<n><f>" to the bilingual dictionary: the girl, not the boy.
    QString error;
    const auto written = Apertium::generate(generator,
                                            {{u"chico"_s, {u"n"_s, u"f"_s, u"sg"_s}},
                                             {u"casa"_s, {u"n"_s, u"f"_s, u"sg"_s}},
                                             {u"zzzq"_s, {u"n"_s, u"f"_s, u"sg"_s}}},
                                            &error);
    ASSERT_TRUE(written) << error.toStdString();
    EXPECT_EQ(*written, (QStringList{u"chica"_s, u"casa"_s, QString()}));

    EXPECT_EQ(Apertium::parseUnit(u"vara¹<vblex><inf>"_s)->text(), u"vara"_s);
}

TEST(ApertiumTest, ANounWithoutItsGenderGoesThroughSpanish) {
    const QString italian = u"/usr/share/apertium/apertium-spa-ita/ita-spa.autobil.bin"_s;
    const QString spanish = u"/usr/share/apertium/apertium-eng-spa/spa-eng.autobil.bin"_s;
    if (!QFileInfo::exists(italian) || !QFileInfo::exists(spanish))
        GTEST_SKIP() << "apertium-spa-ita or apertium-eng-spa is not installed";
    // With its gender "pietra" meets "pietra miliare" ("jalón"), which English lacks; without
    // it, "piedra", whose gender Spanish's own dictionary needs.
    QList<Apertium::Unit> units{{u"pietra"_s, {u"n"_s}}};
    QList<qsizetype> owners{0};
    QString error;
    ASSERT_TRUE(ApertiumPairs::translateChain({italian, spanish}, units, owners, &error))
        << error.toStdString();
    QStringList english;
    for (const Apertium::Unit& unit : units)
        english << unit.text();
    EXPECT_TRUE(english.contains(u"stone"_s)) << english.join(u", "_s).toStdString();
}

} // namespace
} // namespace tivela::packbuild
