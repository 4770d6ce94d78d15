#include "app/GlossBatches.h"
#include "support/EntryPrinter.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(GlossBatchesTest, TextsSkipTheOwnLanguageAndEachComesOnce) {
    const DictionaryEntry english = test::card(
        u"dog"_s, u"en"_s, u"de"_s,
        {{u"canine"_s, u"The dog barks."_s}, {u"canine"_s, {}}, {u"hound"_s, u"The dog barks."_s}});
    EXPECT_EQ(GlossBatches::texts(english, u"de"_s, 8),
              (QStringList{u"canine"_s, u"The dog barks."_s, u"hound"_s}));
    EXPECT_EQ(GlossBatches::texts(english, u"de"_s, 1),
              (QStringList{u"canine"_s, u"The dog barks."_s}));
    EXPECT_TRUE(GlossBatches::texts(english, u"en"_s, 8).isEmpty());
    EXPECT_TRUE(GlossBatches::texts(english, u"de"_s, 0).isEmpty());
    const DictionaryEntry chinese =
        test::card(u"狗"_s, u"zh"_s, u"en"_s, {{u"dog"_s, u"A dog."_s}});
    EXPECT_TRUE(GlossBatches::texts(chinese, u"zh-TW"_s, 8).isEmpty());
    // Other sources give their English translation of the example.
    EXPECT_EQ(GlossBatches::texts(chinese, u"de"_s, 8), (QStringList{u"dog"_s, u"A dog."_s}));
}
