#include "platform/engine/ApertiumCase.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

struct Case {
    const char* source;
    const char* answer;
    const char* target;
    const char* shown;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.source << " -> " << c.answer;
}

class ApertiumCaseTest : public testing::TestWithParam<Case> {};

} // namespace

TEST_P(ApertiumCaseTest, OnlyTheEnginesOwnFirstCapitalGoes) {
    const Case c = GetParam();
    EXPECT_EQ(ApertiumCase::followSource(QString::fromUtf8(c.source), QString::fromUtf8(c.answer),
                                         QString::fromLatin1(c.target)),
              QString::fromUtf8(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Phrases, ApertiumCaseTest,
    testing::Values(
        // A word or short phrase typed in small letters stays small, marks and all.
        Case{"house", "Casa", "es", "casa"}, Case{"hermano", "Brother", "en", "brother"},
        Case{"  big house ", "Casa grande", "es", "casa grande"},
        Case{"árbol", "Árbol", "ca", "árbol"}, Case{"«casa»", "«House»", "en", "«house»"},
        Case{"the house is red", "La casa es roja", "es", "la casa es roja"},
        // Typed with a capital, or nothing to lower: as the engine wrote it.
        Case{"House", "Casa", "es", "Casa"}, Case{"house", "casa", "es", "casa"},
        Case{"42", "42", "es", "42"}, Case{"", "", "es", ""}, Case{"犬", "Dog", "en", "Dog"},
        // Capitals of the text's own, English "I" and German nouns stay.
        Case{"hello world", "Hola Mundo", "es", "Hola Mundo"},
        Case{"iphone", "IPHONE", "es", "IPHONE"}, Case{"yo", "I", "en", "I"},
        Case{"yo soy", "I'm", "en", "I'm"}, Case{"casa", "Haus", "de", "Haus"},
        // Sentences, lines and longer texts keep the engine's case.
        Case{"good morning.", "Buenos días.", "es", "Buenos días."},
        Case{"where?", "¿Dónde?", "es", "¿Dónde?"}, Case{"a\nb", "Un\nb", "es", "Un\nb"},
        Case{"one two three four five", "Uno dos tres cuatro cinco", "es",
             "Uno dos tres cuatro cinco"},
        Case{"supercalifragilisticexpialidociousness and more",
             "Supercalifragilisticexpialidociousness y más", "es",
             "Supercalifragilisticexpialidociousness y más"}));
