#include "platform/recognizer/Morphology.h"

#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QFile>

#include <future>
#include <vector>

using namespace tivela;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

using Known = QHash<QString, QList<bool>>;

// The modes of eng-spa alone, in a folder the test may change.
Morphology::Options englishSpanish(const QString& folder) {
    Morphology::Options options;
    options.modesFolder = test::modesFolder(folder, {u"eng-spa"_s, u"spa-eng"_s});
    options.rescanInterval = 0ms;
    options.wait = 60s;
    return options;
}

// Asked from a thread other than the main one, which waits for the analysers. (A QFuture's
// result may run its task on the thread that asks for it.)
Known knownElsewhere(Morphology& morphology, const QStringList& words,
                     const QStringList& languages) {
    return std::async(std::launch::async, [&] { return morphology.known(words, languages); }).get();
}

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

TEST(MorphologyTest, WordsAreRunsOfLettersJoinedByApostrophesAndHyphens) {
    const std::pair<QString, QStringList> table[] = {
        {u"l'école est fermée"_s, {u"l'école"_s, u"est"_s, u"fermée"_s}},
        {u"don’t — stop!"_s, {u"don’t"_s, u"stop"_s}},
        {u"bien-être --x- 'quoted'"_s, {u"bien-être"_s, u"x"_s, u"quoted"_s}},
        {u"abc123def 4 2"_s, {u"abc"_s, u"def"_s}},
        {u"e\u0301cole"_s, {u"e\u0301cole"_s}},
        {u"12 :-) 😀"_s, {}},
    };
    for (const auto& [text, words] : table)
        EXPECT_EQ(Morphology::words(text), words) << text.toStdString();
    const QString many = QStringList(40, u"palabra"_s).join(u' ');
    EXPECT_EQ(Morphology::words(many).size(), Morphology::maxWords);
}

TEST(MorphologyTest, ReadsTheAnalysersOfTheInstalledPairs) {
    const Morphology::Options options = englishSpanish(u"modes-installed"_s);
    const QString& folder = options.modesFolder;
    Morphology morphology(options);
    const QStringList words{u"gato"_s,  u"GATO"_s,          u"Canción"_s,   u"cancion"_s,
                            u"house"_s, u"don’t"_s,         u"it's"_s,      u"jubilado"_s,
                            QString(),  QString(100, u'a'), u"ga\u0000to"_s};
    const Known known = knownElsewhere(morphology, words, {u"en"_s, u"es"_s, u"it"_s});
    EXPECT_EQ(known.value(u"en"_s), (QList<bool>{false, false, false, false, true, true, true,
                                                 false, false, false, false}));
    EXPECT_EQ(known.value(u"es"_s), (QList<bool>{true, true, true, false, false, false, false,
                                                 false, false, false, false}));
    EXPECT_FALSE(known.contains(u"it"_s)) << "no pair translates from Italian";

    // A pair installed later is seen; so are modes whose analyser is missing or no transducer.
    QFile::copy(folder + u"/spa-eng.mode"_s, folder + u"/ita-eng.mode"_s);
    writeFile(folder + u"/deu-eng.mode"_s, "lt-proc '" + QFile::encodeName(folder) +
                                               "/missing.automorf.bin' | apertium-tagger\n");
    writeFile(folder + u"/broken.automorf.bin"_s, "LTTB\x01\x02");
    writeFile(folder + u"/fra-eng.mode"_s,
              "lt-proc " + QFile::encodeName(folder) + "/broken.automorf.bin\n");
    EXPECT_FALSE(morphology.load({u"it"_s, u"de"_s, u"fr"_s}, 60s));
    const Known later = knownElsewhere(morphology, {u"gato"_s}, {u"it"_s, u"de"_s, u"fr"_s});
    EXPECT_EQ(later, (Known{{u"it"_s, {true}}}));

    // And one removed is let go.
    QFile::remove(folder + u"/ita-eng.mode"_s);
    EXPECT_TRUE(knownElsewhere(morphology, {u"gato"_s}, {u"it"_s}).isEmpty());
    EXPECT_TRUE(knownElsewhere(morphology, {u"gato"_s}, {u"es"_s}).value(u"es"_s).first());
}

TEST(MorphologyTest, TheMainThreadNeverWaits) {
    // One question starts the work; the analysers come without another.
    Morphology morphology(englishSpanish(u"modes-main"_s));
    EXPECT_TRUE(morphology.known({u"gato"_s}, {u"en"_s, u"es"_s}).isEmpty());
    EXPECT_TRUE(test::waitUntil([&] { return morphology.bytes() > 0; }, 60000));
    // Here every question reads the modes folder again, yet the loads go on meanwhile.
    Known known;
    EXPECT_TRUE(test::waitUntil(
        [&] {
            known = morphology.known({u"gato"_s}, {u"en"_s, u"es"_s});
            return known.size() == 2;
        },
        60000));
    EXPECT_EQ(known, (Known{{u"en"_s, {false}}, {u"es"_s, {true}}}));
}

TEST(MorphologyTest, ABurstOfQuestionsWhileTheAnalysersLoad) {
    const Morphology::Options options = englishSpanish(u"modes-burst"_s);
    Morphology morphology(options);
    std::vector<std::future<Known>> answers;
    for (int i = 0; i < 64; ++i)
        answers.push_back(std::async(std::launch::async, [&] {
            return morphology.known({u"gato"_s, u"house"_s}, {u"en"_s, u"es"_s});
        }));
    for (std::future<Known>& answer : answers)
        EXPECT_EQ(answer.get(), (Known{{u"en"_s, {false, true}}, {u"es"_s, {true, false}}}));

    // Let go while its analysers are still loading.
    for (int i = 0; i < 3; ++i) {
        Morphology leaving(options);
        leaving.known({u"gato"_s}, {u"en"_s, u"es"_s});
        leaving.load({u"en"_s, u"es"_s}, 1ms);
    }

    // Stopped while they load, as at quit: the loader ends within the bound, and a thread
    // waiting for them is answered at once with what is ready.
    Morphology stopping(options);
    stopping.known({u"gato"_s}, {u"en"_s, u"es"_s});
    auto waiting = std::async(std::launch::async, [&] {
        return stopping.known({u"gato"_s}, {u"en"_s, u"es"_s});
    });
    EXPECT_TRUE(stopping.stop(QDeadlineTimer(5000)));
    EXPECT_EQ(waiting.wait_for(5s), std::future_status::ready);
}

TEST(MorphologyTest, KeepsWithinItsMemoryBudget) {
    Morphology::Options options = englishSpanish(u"modes-budget"_s);
    Morphology unbounded(options);
    ASSERT_TRUE(unbounded.load({u"en"_s, u"es"_s}, 60s));
    const qsizetype both = unbounded.bytes();

    options.memoryBudget = 1;
    Morphology morphology(options);
    ASSERT_TRUE(morphology.load({u"en"_s}, 60s));
    const qsizetype english = morphology.bytes();
    ASSERT_TRUE(morphology.load({u"es"_s}, 60s));
    EXPECT_GT(english, 0);
    EXPECT_EQ(morphology.bytes(), both - english) << "English was let go";
    // A language let go loads again when asked about.
    EXPECT_EQ(knownElsewhere(morphology, {u"house"_s}, {u"en"_s}).value(u"en"_s),
              QList<bool>{true});
    EXPECT_EQ(morphology.bytes(), english);
}

// The other installed languages are made ready for the recogniser before a word needs them,
// once: a language let go for the budget is not brought back behind the asker's back.
TEST(MorphologyTest, ListsTheInstalledLanguagesAndPrefetchesEachOnce) {
    Morphology::Options options = englishSpanish(u"modes-prefetch"_s);
    test::modesFolder(u"modes-prefetch"_s, {u"fr-es"_s});
    options.memoryBudget = 1;
    Morphology morphology(options);
    ASSERT_TRUE(morphology.load({u"en"_s}, 60s));
    EXPECT_EQ(morphology.languages(), (QStringList{u"en"_s, u"es"_s, u"fr"_s}));

    const qsizetype english = morphology.bytes();
    morphology.prefetch({u"fr"_s, u"it"_s});
    ASSERT_TRUE(test::waitUntil([&] { return morphology.bytes() != english; }, 60000));
    const qsizetype french = morphology.bytes();
    ASSERT_TRUE(morphology.load({u"en"_s}, 60s));
    EXPECT_EQ(morphology.bytes(), english) << "French was let go";
    morphology.prefetch({u"fr"_s});
    test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(morphology.bytes(), english);
    EXPECT_GT(french, 0);
}
