// Apertium's own programs on its installed data: the written form of a feminine that the
// bilingual dictionaries write as its masculine lemma, homonyms' numbers, and the forms a
// generator lists.
#include "Apertium.h"

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

TEST(ApertiumTest, AGeneratorListsTheFormsOfItsLemmas) {
    const QString generator = u"/usr/share/apertium/apertium-rus-ukr/ukr-rus.autogen.bin"_s;
    if (!QFileInfo::exists(generator))
        GTEST_SKIP() << "apertium-rus-ukr is not installed";
    QString error;
    const auto forms =
        Apertium::forms(generator, {u"файл"_s, u"другой"_s}, &error, Apertium::Side::generator);
    ASSERT_TRUE(forms) << error.toStdString();
    EXPECT_EQ(forms->value(u"файлами"_s), QStringList{u"файл"_s});
    EXPECT_EQ(forms->value(u"других"_s), QStringList{u"другой"_s});
    EXPECT_FALSE(forms->contains(u"файл"_s));

    // Its participles with a doubled "а" are no words; the right ones are.
    const auto participles =
        Apertium::forms(generator, {u"выстукивать"_s}, &error, Apertium::Side::generator);
    ASSERT_TRUE(participles) << error.toStdString();
    EXPECT_TRUE(participles->contains(u"выстукивавшими"_s));
    EXPECT_FALSE(participles->contains(u"выстукиваанными"_s));
}

} // namespace
} // namespace tivela::packbuild
