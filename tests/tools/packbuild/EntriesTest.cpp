// A word's own entries on the sample WordNet (tests/data/packbuild/wordnet): where the
// dictionary into English lists its words alphabetically, the common English word that the word
// translates first, and that both directions pair it with, leads the word's card.
#include "Entries.h"
#include "English.h"
#include "LanguageTable.h"
#include "Senses.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

TEST(EntriesTest, TheCommonWordThatTheWordLeadsLeadsItsCard) {
    English english;
    QString error;
    ASSERT_TRUE(english.load(
        qEnvironmentVariable("TIVELA_SOURCE_DIR") + u"/tests/data/packbuild/wordnet"_s, &error))
        << error.toStdString();
    LanguageSources sources{.code = u"it"_s, .leadsWithCommonWord = true};
    Evidence evidence;
    evidence.code = u"it"_s;
    Draft draft;
    const auto word = [&](const QString& term, const QString& gloss, const QString& sense) {
        draft.words[term].entries = {WordEntry{u"noun"_s, {}, {Meaning{gloss, {}, {}}}}};
        draft.words[term].senses = {sense};
    };
    const auto sense = [&](const QString& id, const QString& headword, QStringList terms) {
        draft.senses[id] = {headword, u"noun"_s, u"a gloss"_s, std::move(terms), 1, {}};
    };
    // "casa" leads "house", which both directions pair it with; "cane" leads "dog" that only
    // the dictionary into English gives; "abitazione" does not lead "home".
    word(u"casa"_s, u"abode, dwelling"_s, senseId(u"house"_s, u"noun"_s, 1));
    word(u"cane"_s, u"hound"_s, senseId(u"dog"_s, u"noun"_s, 1));
    word(u"abitazione"_s, u"abode"_s, senseId(u"home"_s, u"noun"_s, 1));
    sense(senseId(u"house"_s, u"noun"_s, 1), u"house"_s, {u"casa"_s});
    sense(senseId(u"dog"_s, u"noun"_s, 1), u"dog"_s, {u"cane"_s});
    sense(senseId(u"home"_s, u"noun"_s, 1), u"home"_s, {u"casa"_s, u"abitazione"_s});
    draft.facts[Draft::pairKey(u"casa"_s, u"house"_s)].directions = 3;
    draft.facts[Draft::pairKey(u"cane"_s, u"dog"_s)].directions = 2;
    draft.facts[Draft::pairKey(u"abitazione"_s, u"home"_s)].directions = 3;

    Ding ding;
    EntryBuilder(english, sources, evidence, draft, ding).derivedEntries();
    const auto first = [&](const QString& term) {
        return draft.words[term].entries.value(0).meanings.value(0).gloss;
    };
    EXPECT_EQ(first(u"casa"_s), u"house (a gloss)"_s);
    EXPECT_EQ(first(u"cane"_s), u"hound"_s);
    EXPECT_EQ(first(u"abitazione"_s), u"abode"_s);
}

} // namespace
} // namespace tivela::packbuild
