#include "platform/engine/ApertiumCatalogue.h"
#include "core/Languages.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(ApertiumCatalogueTest, ModeNamesBecomeDirectionsOfTheSystemsCodes) {
    const auto english = ApertiumCatalogue::mode(u"eng-spa"_s);
    ASSERT_TRUE(english);
    EXPECT_EQ(english->direction, (ApertiumCatalogue::Direction{u"en"_s, u"es"_s}));
    EXPECT_TRUE(english->exact);

    const auto nynorsk = ApertiumCatalogue::mode(u"nno-dan"_s);
    ASSERT_TRUE(nynorsk);
    EXPECT_EQ(nynorsk->direction, (ApertiumCatalogue::Direction{u"nb"_s, u"da"_s}));
    EXPECT_EQ(nynorsk->sourceIdentifier, u"nn"_s);
    EXPECT_FALSE(nynorsk->exact);

    EXPECT_EQ(ApertiumCatalogue::mode(u"zlm-ind"_s)->direction.source, u"ms"_s);
    EXPECT_EQ(ApertiumCatalogue::mode(u"por-cat"_s)->direction,
              (ApertiumCatalogue::Direction{u"pt"_s, u"ca"_s}));
    EXPECT_EQ(ApertiumCatalogue::mode(u"hbs-eng"_s)->direction.source, u"hbs"_s);
    EXPECT_EQ(ApertiumCatalogue::mode(u"spa-ast"_s)->direction.target, u"ast"_s);
    for (const QString& ignored : {u"spa-eng_US"_s, u"eo-en-bytecode"_s, u"nno-nob"_s,
                                   u"Cyrl-Latn"_s, u"eng"_s, u"e-spa"_s, u"eng-spa.mode"_s})
        EXPECT_FALSE(ApertiumCatalogue::mode(ignored)) << ignored.toStdString();
}

TEST(ApertiumCatalogueTest, AModeWithoutFoldingWinsItsDirection) {
    const auto found = ApertiumCatalogue::directions({u"nno-dan"_s, u"nob-dan"_s, u"dan-nno"_s});
    EXPECT_EQ(found.value({u"nb"_s, u"da"_s}).name, u"nob-dan"_s);
    EXPECT_EQ(found.value({u"da"_s, u"nb"_s}).name, u"dan-nno"_s);
    EXPECT_EQ(found.size(), 2);
}

TEST(ApertiumCatalogueTest, PackagesProvideTheirDirectionsOnly) {
    EXPECT_EQ(ApertiumCatalogue::package(u"en"_s, u"es"_s), u"apertium-eng-spa"_s);
    EXPECT_EQ(ApertiumCatalogue::package(u"es"_s, u"en"_s), u"apertium-eng-spa"_s);
    EXPECT_EQ(ApertiumCatalogue::package(u"is"_s, u"en"_s), u"apertium-isl-eng"_s);
    EXPECT_EQ(ApertiumCatalogue::package(u"en"_s, u"is"_s), QString());
    EXPECT_EQ(ApertiumCatalogue::package(u"nb"_s, u"da"_s), u"apertium-dan-nor"_s);
    EXPECT_EQ(ApertiumCatalogue::package(u"ca"_s, u"pt"_s), u"apertium-por-cat"_s);
    EXPECT_EQ(ApertiumCatalogue::package(u"en"_s, u"de"_s), QString());
    EXPECT_EQ(ApertiumCatalogue::package(u"zh"_s, u"en"_s), QString());
    for (const auto& package : ApertiumCatalogue::packages()) {
        EXPECT_TRUE(package.name.startsWith(u"apertium-"_s));
        EXPECT_FALSE(package.modes.isEmpty());
        // Each language a package brings is offered in the menus by a name, not by its code.
        for (const auto& direction : ApertiumCatalogue::directions(package.modes).keys())
            for (const QString& code : {direction.source, direction.target})
                EXPECT_NE(Languages::name(code), code) << package.name.toStdString();
    }
}
