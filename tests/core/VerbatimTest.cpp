#include "core/Verbatim.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

struct Case {
    QString text;
    // The verbatim runs, in order.
    QStringList kept;
    bool nothingToTranslate;
};

QStringList keptOf(const QString& text) {
    QStringList kept;
    for (const Verbatim::Span& span : Verbatim::spans(text))
        kept << text.mid(span.start, span.length);
    return kept;
}

class VerbatimTest : public ::testing::TestWithParam<Case> {};

TEST_P(VerbatimTest, KeepsLinksPathsAndCodeAndOnlyThem) {
    const Case& c = GetParam();
    EXPECT_EQ(keptOf(c.text), c.kept);
    EXPECT_EQ(Verbatim::nothingToTranslate(c.text), c.nothingToTranslate);
}

const QString longToken = u"x"_s.repeated(Verbatim::longestWord + 1);

INSTANTIATE_TEST_SUITE_P(
    Texts, VerbatimTest,
    ::testing::Values(
        Case{u"See https://example.com/path?q=hello+world now."_s,
             {u"https://example.com/path?q=hello+world"_s},
             false},
        Case{u"(ftp://host/a_(b)), <irc://x.net/c>"_s,
             {u"ftp://host/a_(b)"_s, u"irc://x.net/c"_s},
             true},
        Case{u"mailto:ana@example.org"_s, {u"mailto:ana@example.org"_s}, true},
        Case{u"Write to ana.lopez+news@mail.example.co.uk, please."_s,
             {u"ana.lopez+news@mail.example.co.uk"_s},
             false},
        Case{u"The file is /home/user/documents/report.txt"_s,
             {u"/home/user/documents/report.txt"_s},
             false},
        Case{u"~/notes ./run.sh ../up C:\\Users\\Ana D:/data"_s,
             {u"~/notes"_s, u"./run.sh"_s, u"../up"_s, u"C:\\Users\\Ana"_s, u"D:/data"_s},
             true},
        Case{u"Set max_retries in config.yaml, then run --dry-run."_s,
             {u"max_retries"_s, u"config.yaml"_s, u"--dry-run"_s},
             false},
        Case{u"Call getUserName or HttpClient, os.path.join, v1.2"_s,
             {u"getUserName"_s, u"HttpClient"_s, u"os.path.join"_s, u"v1.2"_s},
             false},
        Case{u"\"www.example.com\""_s, {u"www.example.com"_s}, true},
        Case{u"one "_s + longToken + u" two"_s, {longToken}, false},
        // Words, abbreviations, numbers and markup stay for the engine.
        Case{u"e.g. the U.S.A. and/or 3.14, well-known, Dr. No, 1/2 km/h"_s, {}, false},
        Case{u"<a1>Good</a1> <a2>day</a2> </a3>"_s, {}, false}, Case{u"I am hungry"_s, {}, false},
        Case{u"- a list item -- and a dash"_s, {}, false}, Case{u"1234567"_s, {}, true},
        Case{u"😀😀😀"_s, {}, true}, Case{u"  \n"_s, {}, true}, Case{u"𝐀"_s, {}, false}));

} // namespace
