// Apertium's own programs on its installed data: the written form of a feminine that the
// bilingual dictionaries write as its masculine lemma, homonyms' numbers, the pronouns that reach
// English through Spanish, an analyser's lemmas and the forms a generator lists.
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

// "mi" is "me" in Spanish, which the Spanish-English dictionary knows only as its placeholder
// for personal pronouns; the placeholder that the chain reached already is spelt too.
TEST(ApertiumTest, PronounsReachEnglishThroughTheirWrittenForm) {
    const QStringList back{u"/usr/share/apertium/apertium-spa-ita/ita-spa.autobil.bin"_s,
                           u"/usr/share/apertium/apertium-eng-spa/spa-eng.autobil.bin"_s};
    if (!QFileInfo::exists(back[0]) || !QFileInfo::exists(back[1]))
        GTEST_SKIP() << "apertium-spa-ita or apertium-eng-spa is not installed";
    QList<Apertium::Unit> units{{u"prpers"_s, {u"prn"_s, u"obj"_s, u"p3"_s, u"m"_s, u"sg"_s}}};
    QList<qsizetype> owners{2};
    QString error;
    ASSERT_TRUE(ApertiumPairs::throughWrittenForms(
        back,
        {{u"mi"_s, {u"prn"_s, u"pro"_s, u"p1"_s, u"mf"_s, u"sg"_s}},
         {u"egli"_s, {u"prn"_s, u"tn"_s, u"p3"_s, u"m"_s, u"sg"_s}}},
        {0, 1}, units, owners, &error))
        << error.toStdString();
    QStringList reached;
    for (qsizetype u = 0; u < units.size(); ++u)
        reached << QString::number(owners[u]) + u':' + units[u].text();
    EXPECT_EQ(reached, (QStringList{u"2:him"_s, u"0:me"_s, u"1:he"_s}));
}

// The analyser knows words that no word list has; names and numerals are no words to look up.
TEST(ApertiumTest, AnAnalyserListsItsLemmas) {
    const QString analyser = u"/usr/share/apertium/apertium-spa-ita/ita-spa.automorf.bin"_s;
    if (!QFileInfo::exists(analyser))
        GTEST_SKIP() << "apertium-spa-ita is not installed";
    QString error;
    const auto lemmas = Apertium::lemmas(analyser, &error);
    ASSERT_TRUE(lemmas) << error.toStdString();
    EXPECT_TRUE(lemmas->contains(u"estasi"_s));
    EXPECT_TRUE(lemmas->contains(u"mancare"_s));
    EXPECT_FALSE(lemmas->contains(u"centoquarantaquattro"_s));
    EXPECT_FALSE(lemmas->contains(u"mancava"_s));
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
