#include "app/GlossBatches.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

// A card whose meanings each have a gloss and, when given, an example in the card's language.
DictionaryEntry card(const QString& word, const QString& from, const QString& to,
                     const QList<std::pair<QString, QString>>& meanings) {
    DictionaryEntry entry{word, {}, from, to, {}, {}, {}, {}};
    for (const auto& [gloss, example] : meanings) {
        DictionaryEntry::Meaning meaning{u"noun"_s, gloss, {}, {}, {}};
        if (!example.isEmpty())
            (from == u"en"_s ? meaning.example : meaning.exampleTranslation) = example;
        entry.meanings << meaning;
    }
    return entry;
}

} // namespace

TEST(GlossBatchesTest, TextsSkipTheOwnLanguageAndEachComesOnce) {
    const DictionaryEntry english = card(
        u"dog"_s, u"en"_s, u"de"_s,
        {{u"canine"_s, u"The dog barks."_s}, {u"canine"_s, {}}, {u"hound"_s, u"The dog barks."_s}});
    EXPECT_EQ(GlossBatches::texts(english, u"de"_s, 8),
              (QStringList{u"canine"_s, u"The dog barks."_s, u"hound"_s}));
    EXPECT_EQ(GlossBatches::texts(english, u"de"_s, 1),
              (QStringList{u"canine"_s, u"The dog barks."_s}));
    EXPECT_TRUE(GlossBatches::texts(english, u"en"_s, 8).isEmpty());
    EXPECT_TRUE(GlossBatches::texts(english, u"de"_s, 0).isEmpty());
    const DictionaryEntry chinese = card(u"狗"_s, u"zh"_s, u"en"_s, {{u"dog"_s, u"A dog."_s}});
    EXPECT_TRUE(GlossBatches::texts(chinese, u"zh-TW"_s, 8).isEmpty());
    // Other sources give their English translation of the example.
    EXPECT_EQ(GlossBatches::texts(chinese, u"de"_s, 8), (QStringList{u"dog"_s, u"A dog."_s}));
}
