// How the dictionaries' English terms are mended before they reach a pack.
#include "Terms.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

// A two-word phrase written as one word gets its space back, only where the split is the one
// phrase it can be and the run-together word is no word of its own.
TEST(TermsTest, ARunTogetherPhraseGetsItsSpaceBack) {
    const QSet<QString> words{u"keyword"_s, u"upon"_s, u"man"_s};
    const QSet<QString> phrases{u"human being"_s, u"midday meal"_s, u"north america"_s,
                                u"key word"_s,    u"up on"_s,       u"ab cde"_s,
                                u"abc de"_s,      u"to do"_s};
    const auto isWord = [&](const QString& w) { return words.contains(w); };
    const auto isPhrase = [&](const QString& p) { return phrases.contains(p); };
    const QList<std::pair<QString, QString>> cases{
        {u"humanbeing"_s, u"human being"_s},
        {u"middaymeal"_s, u"midday meal"_s},
        {u"NorthAmerica"_s, u"North America"_s},
        // Words of their own, however they split.
        {u"keyword"_s, u"keyword"_s},
        {u"upon"_s, u"upon"_s},
        // Two ways to split it; too short; already two words; not letters.
        {u"abcde"_s, u"abcde"_s},
        {u"todo"_s, u"to do"_s},
        {u"man"_s, u"man"_s},
        {u"human being"_s, u"human being"_s},
        {u"human-being"_s, u"human-being"_s}};
    for (const auto& [term, spaced] : cases)
        EXPECT_EQ(spacedTerm(term, isWord, isPhrase), spaced) << term.toStdString();
}

} // namespace
} // namespace tivela::packbuild
