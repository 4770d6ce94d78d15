// Russian words spelt after English ones, which no dictionary translates: which English word a
// spelling leads to, and which words spell none.
#include "Loanwords.h"
#include "Terms.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

struct Loan {
    const char* word;
    const char* pos;
    const char* english;
    bool spelt;
};

class LoanwordsTest : public testing::TestWithParam<Loan> {};

TEST_P(LoanwordsTest, AWordIsSpeltAfterItsEnglishOne) {
    const QString english = cognateKey(QString::fromUtf8(GetParam().english));
    const QStringList spellings = Loanwords::russianSpellings(QString::fromUtf8(GetParam().word),
                                                              QString::fromUtf8(GetParam().pos));
    const bool spelt = std::any_of(spellings.begin(), spellings.end(),
                                   [&](const QString& s) { return cognateKey(s) == english; });
    EXPECT_EQ(spelt, GetParam().spelt) << spellings.join(u' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Russian, LoanwordsTest,
    testing::Values(Loan{"сервер", "noun", "server", true}, Loan{"сканер", "noun", "scanner", true},
                    Loan{"итерация", "noun", "iteration", true},
                    Loan{"семантика", "noun", "semantics", true},
                    Loan{"интерактивный", "adj", "interactive", true},
                    Loan{"алгоритмический", "adj", "algorithmic", true},
                    Loan{"минимизировать", "verb", "minimize", true},
                    Loan{"идентифицировать", "verb", "identify", true},
                    // Too short to tell a loan from a chance likeness.
                    Loan{"байт", "noun", "bait", false},
                    // Russian's own kinds of word, and a letter English has not.
                    Loan{"глинка", "noun", "glinka", false},
                    Loan{"стажировать", "verb", "stash", false},
                    // An adjective's stem is no noun.
                    Loan{"сервер", "adj", "server", false}));

} // namespace
} // namespace tivela::packbuild
