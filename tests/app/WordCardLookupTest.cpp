#include "app/WordCardLookup.h"
#include "core/Lexicon.h"
#include "core/Translator.h"
#include "support/EntryPrinter.h"
#include "support/FakeAppServices.h"
#include "support/FakeEngine.h"
#include "support/PackFiles.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <atomic>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

// What a lookup told, in order.
struct Told {
    explicit Told(WordCardLookup& lookup) {
        QObject::connect(&lookup, &WordCardLookup::found,
                         [this](const QString& word, const std::optional<DictionaryEntry>& entry) {
                             words << word;
                             cards.insert(word, entry);
                         });
        QObject::connect(&lookup, &WordCardLookup::loadingChanged,
                         [this](bool flag) { loading << flag; });
    }

    QStringList words;
    QHash<QString, std::optional<DictionaryEntry>> cards;
    QList<bool> loading;
};

// The packs of a real lexicon, counting its lookups.
class CountedLexicon : public Dictionary {
public:
    explicit CountedLexicon(Lexicon& lexicon)
        : m_lexicon(lexicon) {}

    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to) override {
        ++lookups;
        return m_lexicon.lookup(word, from, to);
    }
    bool isInstalled(const QString& lang) override { return m_lexicon.isInstalled(lang); }

    std::atomic<int> lookups = 0;

private:
    Lexicon& m_lexicon;
};

} // namespace

// A slow lookup holds nobody up: each tells its own word as it ends, and the loading flag
// stays up until the last one running has ended.
TEST(WordCardLookupTest, LookupsRunSideBySideAndLoadingEndsWithTheLast) {
    auto dictionary = std::make_shared<test::FakeDictionary>();
    auto downloads = std::make_shared<test::FakeDownloads>();
    Translator translator{std::make_shared<test::FakeEngine>()};
    WordCardLookup lookup(dictionary, downloads, translator);
    Told told(lookup);
    dictionary->add(test::card(u"Hund"_s, u"de"_s, u"en"_s, {{u"dog"_s, {}}}));
    dictionary->add(test::card(u"Hunde"_s, u"de"_s, u"en"_s, {{u"dogs"_s, {}}}));
    dictionary->block(u"Hund"_s);
    for (const QString& word : {u"Hund"_s, u"Hunde"_s, u"Katze"_s})
        lookup.lookUp(word, u"de"_s, u"en"_s);
    ASSERT_TRUE(test::waitUntil([&] { return told.words.size() == 2; }))
        << "the lookups of Hunde and Katze never ended beside the blocked one";
    EXPECT_EQ(QSet<QString>(told.words.begin(), told.words.end()),
              (QSet<QString>{u"Hunde"_s, u"Katze"_s}));
    EXPECT_EQ(told.cards.value(u"Hunde"_s)->meanings.first().gloss, u"dogs"_s);
    EXPECT_EQ(told.cards.value(u"Katze"_s), std::nullopt);
    EXPECT_EQ(told.loading, (QList<bool>{true, true, true}));

    dictionary->release(u"Hund"_s);
    ASSERT_TRUE(test::waitUntil([&] { return told.words.size() == 3; }))
        << "the lookup of Hund never ended";
    EXPECT_EQ(told.words.last(), u"Hund"_s);
    EXPECT_EQ(told.loading, (QList<bool>{true, true, true, false}));
    // No pack is asked for without a pair that needs one.
    EXPECT_TRUE(downloads->ensured().isEmpty());
}

// On a real lexicon: a word without a card asks for the packs its pair needs that are not
// installed, only those, and looks once more; a word with a card asks for none.
TEST(WordCardLookupTest, AWordWithoutACardFetchesTheMissingPacksAndLooksAgain) {
    QTemporaryDir dir;
    Lexicon lexicon(dir.filePath(u"Lexicon"_s));
    const auto packs = test::checkPacks();
    ASSERT_TRUE(test::writeFile(lexicon.packPath(u"en"_s), packs.at(u"en"_s)));
    auto dictionary = std::make_shared<CountedLexicon>(lexicon);
    auto downloads = std::make_shared<test::FakeDownloads>();
    downloads->packsOf = [](const QString&, const QString&) {
        return QStringList{u"de"_s, u"en"_s};
    };
    std::atomic<bool> serverUp = false;
    downloads->download = [&](const QStringList& codes) {
        return serverUp && codes.contains(u"de"_s) &&
               test::writeFile(lexicon.packPath(u"de"_s), packs.at(u"de"_s));
    };
    Translator translator{std::make_shared<test::FakeEngine>()};
    WordCardLookup lookup(dictionary, downloads, translator);
    Told told(lookup);

    lookup.lookUp(u"Hund"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(test::waitUntil([&] {
        return told.loading == QList<bool>{true, false};
    })) << "the lookup without a pack server never ended";
    EXPECT_EQ(told.cards.value(u"Hund"_s), std::nullopt);
    EXPECT_EQ(downloads->ensured(), QList<QStringList>{{u"de"_s}});
    EXPECT_EQ(dictionary->lookups.load(), 2);

    serverUp = true;
    lookup.lookUp(u"Hund"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(test::waitUntil([&] { return told.words.size() == 2; }))
        << "the lookup with a pack server never ended";
    ASSERT_TRUE(told.cards.value(u"Hund"_s));
    EXPECT_EQ(told.cards.value(u"Hund"_s)->meanings.first().gloss, u"dog"_s);
    EXPECT_EQ(dictionary->lookups.load(), 4);

    lookup.lookUp(u"Hund"_s, u"de"_s, u"en"_s);
    ASSERT_TRUE(test::waitUntil([&] { return told.words.size() == 3; }));
    EXPECT_TRUE(told.cards.value(u"Hund"_s));
    EXPECT_EQ(downloads->ensured().size(), 2);
    EXPECT_EQ(dictionary->lookups.load(), 5);
}
