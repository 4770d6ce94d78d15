// The real English-Spanish engine and its analysers: which answers are translations.
#include "platform/recognizer/PassThrough.h"
#include "core/Translator.h"
#include "platform/engine/ApertiumEngine.h"
#include "platform/recognizer/Morphology.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

struct Case {
    const char* from;
    const char* text;
    bool translation;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.from << ": \"" << c.text << '"';
}

class PassThroughTest : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() {
        const QString modes = test::modesFolder(u"modes-pass"_s, {u"eng-spa"_s, u"spa-eng"_s});
        morphology = new Morphology({modes});
        translator =
            new Translator(std::make_shared<ApertiumEngine>(ApertiumEngine::Options{modes}));
    }
    static void TearDownTestSuite() {
        delete translator;
        delete morphology;
    }

    static inline Morphology* morphology = nullptr;
    static inline Translator* translator = nullptr;
};

} // namespace

TEST_P(PassThroughTest, AnAnswerRepeatingATextItsSourceDoesNotKnowIsNoTranslation) {
    const Case c = GetParam();
    const QString from = QString::fromLatin1(c.from);
    ASSERT_TRUE(morphology->load({from}, 60s)) << "apertium-eng-spa is not installed";
    const QString text = QString::fromUtf8(c.text);
    const QString answer =
        translator->translate(text, from, from == u"en" ? u"es"_s : u"en"_s, false).result();
    EXPECT_EQ(!PassThrough::leftUntranslated(*morphology, text, answer, from), c.translation)
        << "the engine answered \"" << answer.toStdString() << '"';
}

INSTANTIATE_TEST_SUITE_P(
    EnglishSpanish, PassThroughTest,
    ::testing::Values(
        // Words the source language does not know come back as they were.
        Case{"en", "Hund", false}, Case{"en", "Katze", false}, Case{"en", "hosue", false},
        Case{"en", " Hund Katze ", false}, Case{"en", "Der Hund ist im Haus und schläft", false},
        Case{"es", "Hund", false}, Case{"en", "Hund config.yaml", false},
        // Words it knows, names it knows, words both languages share and numbers translate,
        // to themselves or not.
        Case{"en", "house", true}, Case{"en", "hotel", true}, Case{"en", "taxi", true},
        Case{"en", "Maria", true}, Case{"en", "Berlin", true}, Case{"en", "Maria Müller", true},
        Case{"en", "42", true}, Case{"en", "the dog", true}, Case{"en", "the Hund", true},
        Case{"es", "hotel", true}, Case{"es", "Madrid", true}, Case{"en", "3.14 :-)", true},
        Case{"en", "0123456789+/=5\u0301", true},
        // Links, paths and code alone are meant to come back as they stand.
        Case{"en", "config.yaml", true}, Case{"en", "https://example.com/path?q=hello+world", true},
        Case{"es", "~/notas/informe_final.txt --force", true}));
