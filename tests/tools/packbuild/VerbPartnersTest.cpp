// Russian perfective verbs, which the dictionaries from English do not write, lead to the
// imperfective partner they do write: the spellings the partner may take, and the forms of the
// perfectives of Apertium's installed Russian generator.
#include "VerbPartners.h"

#include "Evidence.h"

#include <gtest/gtest.h>

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

struct Partner {
    const char* perfective;
    const char* imperfective;
    // Whether the imperfective is among the spellings: "пропеть" is no "пропивать".
    bool spelled = true;
};

class VerbPartnersTest : public testing::TestWithParam<Partner> {};

TEST_P(VerbPartnersTest, APerfectiveSpellsItsImperfectivePartner) {
    const QStringList found =
        VerbPartners::russianImperfectives(QString::fromUtf8(GetParam().perfective));
    EXPECT_EQ(found.contains(QString::fromUtf8(GetParam().imperfective)), GetParam().spelled)
        << found.join(u' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Russian, VerbPartnersTest,
    testing::Values(Partner{"закончить", "заканчивать"}, Partner{"приблизиться", "приближаться"},
                    Partner{"превратить", "превращать"}, Partner{"ответить", "отвечать"},
                    Partner{"добавить", "добавлять"}, Partner{"подготовить", "подготавливать"},
                    Partner{"осмотреть", "осматривать"}, Partner{"показать", "показывать"},
                    Partner{"передать", "передавать"}, Partner{"кивнуть", "кивать"},
                    Partner{"пропеть", "пропивать", false}));

TEST(VerbPartnersLinkTest, TheFormsOfAnUntranslatedPerfectiveLeadToItsPartner) {
    const QString generator = u"/usr/share/apertium/apertium-rus-ukr/ukr-rus.autogen.bin"_s;
    if (!QFileInfo::exists(generator))
        GTEST_SKIP() << "apertium-rus-ukr is not installed";
    // "отвечать" and "показывать" are translated, and so is "показать" itself.
    Evidence evidence;
    evidence.code = u"ru"_s;
    const QSet<QString> terms{u"отвечать"_s, u"показывать"_s, u"показать"_s};
    QString error;
    ASSERT_TRUE(VerbPartners::linkPerfectives(generator, terms, VerbPartners::russianImperfectives,
                                              evidence, &error))
        << error.toStdString();
    EXPECT_EQ(evidence.forms.value(u"ответил"_s), QStringList{u"отвечать"_s});
    EXPECT_EQ(evidence.forms.value(u"ответить"_s), QStringList{u"отвечать"_s});
    EXPECT_FALSE(evidence.forms.contains(u"показал"_s));
}

} // namespace
} // namespace tivela::packbuild
