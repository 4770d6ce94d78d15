#include "app/AppModel.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Translator.h"
#include "support/EntryPrinter.h"
#include "support/FakeAppServices.h"
#include "support/FakeEngine.h"
#include "support/ModelRig.h"
#include "support/PackFiles.h"
#include "support/StoreLock.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>

#include <sqlite3.h>
#include <unistd.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using Problem = AppModel::Problem;

namespace {

// Gives results already on their way time to arrive, for checks that something did not happen.
void settle(int milliseconds = 150) {
    test::waitUntil([] { return false; }, milliseconds);
}

// Changes the file behind the store's back, as another program might.
void executeRaw(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 3000);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// What this process writes to its standard error while it lives.
class ErrorCapture {
public:
    ErrorCapture() {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~ErrorCapture() { restore(); }
    QString text() {
        restore();
        m_file.seek(0);
        return QString::fromLocal8Bit(m_file.readAll());
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

using AppModelTest = test::ModelRig;

} // namespace

TEST(AppModelTypesTest, TabsProblemsAndTheErrorTable) {
    // Each tab's stored name, in the tab bar's order, and back; nothing else names a tab.
    const QStringList names{u"translate"_s, u"history"_s, u"phrasebook"_s, u"cards"_s};
    for (qsizetype i = 0; i < names.size(); ++i) {
        EXPECT_EQ(rawValue(allTabs[i]), names[i]);
        EXPECT_EQ(tab(names[i]), allTabs[i]);
    }
    EXPECT_EQ(tab(u"phrasebook"_s), Tab::phrasebook);
    EXPECT_EQ(tab(u"Cards"_s), std::nullopt);
    for (const QString& other : {u"Tab::cards"_s, u"Tabs::Tab::cards"_s, u"cards\0x"_s, u""_s})
        EXPECT_EQ(tab(other), std::nullopt) << other.toStdString();

    EXPECT_EQ(Problem::of(TranslateError::notInstalled(u"en"_s, u"de"_s)),
              Problem::notInstalled(u"en"_s, u"de"_s));
    EXPECT_EQ(Problem::of(TranslateError::unsupported(u"en"_s, u"xx"_s)),
              Problem::unsupported(u"en"_s, u"xx"_s));
    EXPECT_EQ(Problem::of(TranslateError::failed(u"wrong script"_s)),
              Problem::failed(u"wrong script"_s));
    EXPECT_EQ(Problem::of(TranslateError::empty()), std::nullopt);
    EXPECT_NE(Problem::notInstalled(u"en"_s, u"de"_s), Problem::unsupported(u"en"_s, u"de"_s));
}

TEST_F(AppModelTest, ConstructionTakesTheSavedPairOrOneFromTheSystemLanguage) {
    store.addHistory({u"h"_s, u"hello"_s, u"hola"_s, u"en"_s, u"es"_s, 1, 0, 0, u"mac"_s});
    store.addPhrase({u"p"_s, u"dog"_s, u"Hund"_s, u"en"_s, u"de"_s, 1, 0, 0, u"mac"_s});
    SharedSettings::setPair(LanguagePair{u"fr"_s, u"en"_s});
    const QByteArray saved = test::readFile(Paths::defaultsFile());
    AppModel& first = make({u"de-DE"_s});
    EXPECT_EQ(first.pair(), (LanguagePair{u"fr"_s, u"en"_s}));
    EXPECT_EQ(test::readFile(Paths::defaultsFile()), saved);
    EXPECT_EQ(first.languages(), (QStringList{u"en"_s, u"es"_s, u"fr"_s, u"de"_s}));
    EXPECT_EQ(downloads->ensured(), (QList<QStringList>{{u"en"_s, u"fr"_s, u"en"_s}}));
    EXPECT_EQ(first.history().size() + first.phrases().size(), 2);
    EXPECT_EQ((QStringList{first.source(), first.outputFrom(), first.outputTo()}),
              (QStringList{u"auto"_s, u"en"_s, u"en"_s}));
    EXPECT_EQ(std::pair(first.inputFontSize(), first.outputFontSize()), std::pair(32.0, 34.0));

    // Without a saved pair: the system language and its partner, saved once the engine's
    // languages are known; a language the engine lacks gives way to English. A pair of codes
    // that name no language, beside a value QSettings would build a list of 2^31-1 strings
    // from, is no saved pair.
    struct Case {
        QString preferred;
        LanguagePair atStart;
        LanguagePair loaded;
        int downloads;
        QByteArray file;
    };
    const QByteArray damaged = R"x([General]
pair="@ByteArray({\"mine\":\"xx\",\"second\":\"yy\"})"
shortcutDisplay=@Variant(\0\0\0\v\x7f\xff\xff\xff)
)x";
    for (const Case& c : {Case{u"de-DE"_s, {u"de"_s, u"en"_s}, {u"de"_s, u"en"_s}, 1, {}},
                          Case{u"en-GB"_s, {u"en"_s, u"es"_s}, {u"en"_s, u"es"_s}, 1, {}},
                          Case{u"it-IT"_s, {u"it"_s, u"en"_s}, {u"en"_s, u"es"_s}, 2, {}},
                          Case{u"de-DE"_s, {u"de"_s, u"en"_s}, {u"de"_s, u"en"_s}, 1, damaged}}) {
        QFile::remove(Paths::defaultsFile());
        if (!c.file.isEmpty()) {
            QFile file(Paths::defaultsFile());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.file);
        }
        model.reset();
        downloads = std::make_shared<test::FakeDownloads>();
        AppServices services = AppServices::production(store, lexicon);
        services.preferredLanguages = [&c] { return QStringList{c.preferred}; };
        services.scheduler = time;
        services.downloads = downloads;
        services.translator = &translator;
        AppModel fresh(services);
        EXPECT_EQ(fresh.pair(), c.atStart);
        EXPECT_FALSE(SharedSettings::pair());
        ASSERT_TRUE(test::waitUntil([&] { return !fresh.languages().isEmpty(); }));
        EXPECT_EQ(fresh.pair(), c.loaded);
        EXPECT_EQ(SharedSettings::pair(), c.loaded);
        EXPECT_EQ(downloads->ensured().size(), c.downloads) << c.preferred.toStdString();
    }
}

TEST_F(AppModelTest, PairWritesSaveTranslateAndFetchPacksOnlyOnChange) {
    AppModel& m = make();
    m.show(u"hello"_s);
    run();
    const int ensured = int(downloads->ensured().size());
    QFile::remove(Paths::defaultsFile());
    m.setPair(m.pair());
    EXPECT_EQ(SharedSettings::pair(), m.pair());
    run();
    EXPECT_EQ(engine->translations(), 2);
    EXPECT_EQ(downloads->ensured().size(), ensured);

    m.setPair({u"en"_s, u"de"_s});
    EXPECT_EQ(SharedSettings::pair(), (LanguagePair{u"en"_s, u"de"_s}));
    EXPECT_EQ(downloads->ensured().last(), (QStringList{u"en"_s, u"en"_s, u"de"_s}));
    run();
    EXPECT_EQ(m.output(), u"en:hello"_s);
}

TEST_F(AppModelTest, ALookupForAnOlderInputNeverPublishes) {
    AppModel& m = make();
    m.setSource(u"de"_s);
    dictionary->add(test::card(u"Hund"_s, u"de"_s, u"en"_s, {{u"dog"_s, {}}}));
    dictionary->add(test::card(u"Hunde"_s, u"de"_s, u"en"_s, {{u"dogs"_s, {}}}));
    dictionary->block(u"Hund"_s);
    m.setInput(u"Hund"_s);
    time->advance(220);
    ASSERT_TRUE(test::waitUntil([&] { return dictionary->lookups().size() == 1; }));
    m.setInput(u"Hunde"_s);
    time->advance(220);
    ASSERT_TRUE(test::waitUntil([&] { return m.entry().has_value(); }));
    EXPECT_EQ(m.entry()->word, u"Hunde"_s);
    // The first lookup still runs.
    EXPECT_TRUE(m.dictionaryLoading());
    dictionary->release(u"Hund"_s);
    ASSERT_TRUE(test::waitUntil([&] { return !m.dictionaryLoading(); }));
    EXPECT_EQ(m.entry()->word, u"Hunde"_s);
}

TEST_F(AppModelTest, MissingPacksAreFetchedAndLookedUpAgain) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"de"_s});
    downloads->packsOf = [](const QString&, const QString&) {
        return QStringList{u"de"_s, u"en"_s};
    };
    bool serverUp = false;
    downloads->download = [&](const QStringList& codes) {
        if (!serverUp || !codes.contains(u"de"_s))
            return false;
        return test::writeFile(
            lexicon.packPath(u"de"_s),
            test::packText(
                {{u"whund"_s, uR"j({"e":[["noun","hʊnt","",[["dog, hound",[],[]]]]]})j"_s}}));
    };
    AppModel& m = make({u"en-US"_s}, true);
    m.setSource(u"de"_s);
    m.setInput(u"Hund"_s);
    run(220);
    ASSERT_TRUE(test::waitUntil([&] { return !m.dictionaryLoading(); }));
    EXPECT_EQ(m.entry(), std::nullopt);
    EXPECT_EQ(m.problem(), std::nullopt);
    EXPECT_EQ(downloads->ensured().last(), (QStringList{u"de"_s, u"en"_s}));

    serverUp = true;
    m.setInput(u"Hund "_s);
    run(220);
    ASSERT_TRUE(test::waitUntil([&] { return !m.dictionaryLoading(); }));
    ASSERT_TRUE(m.entry());
    EXPECT_EQ(m.entry()->meanings.first().gloss, u"dog, hound"_s);
}

TEST_F(AppModelTest, GlossesComeFirstThreeMeaningsFirstAndAreCached) {
    SharedSettings::setPair(LanguagePair{u"de"_s, u"en"_s});
    AppModel& m = make();
    const DictionaryEntry dog = test::card(u"dog"_s, u"en"_s, u"de"_s,
                                           {{u"canine"_s, u"The dog barks."_s},
                                            {u"hound"_s, {}},
                                            {u"pursuer"_s, {}},
                                            {u"canine"_s, {}},
                                            {u"fellow"_s, {}}});
    QList<qsizetype> published;
    QObject::connect(&m, &AppModel::glossesChanged, [&] { published << m.glosses().size(); });
    m.setEntry(dog);
    ASSERT_TRUE(test::waitUntil([&] { return m.glosses().size() == 5; }));
    EXPECT_EQ(batches(),
              (QList<QStringList>{{u"canine"_s, u"The dog barks."_s, u"hound"_s, u"pursuer"_s},
                                  {u"fellow"_s}}));
    EXPECT_EQ(published, (QList<qsizetype>{4, 5}));
    EXPECT_EQ(m.glosses().value(u"The dog barks."_s), u"de:The dog barks."_s);

    m.setEntry(std::nullopt);
    EXPECT_TRUE(m.glosses().isEmpty());
    m.setEntry(dog);
    EXPECT_EQ(m.glosses().size(), 5);
    m.setEntry(DictionaryEntry(dog));
    m.setEntry(std::nullopt);
    m.setEntry(std::nullopt);
    EXPECT_EQ(batches().size(), 2);

    // An answer equal to its text is not kept, so the next card asks again.
    const DictionaryEntry paris = test::card(u"Paris"_s, u"en"_s, u"de"_s, {{u"Paris"_s, {}}});
    for (int shown = 1; shown <= 2; ++shown) {
        m.setEntry(paris);
        ASSERT_TRUE(test::waitUntil([&] { return batches().size() == 2 + shown; }));
        settle();
        EXPECT_TRUE(m.glosses().isEmpty());
        m.setEntry(std::nullopt);
    }

    // A cut-off example goes out without its broken last word and comes back with the ellipsis.
    const QString cut = u"one two  three four five six seven\u2026"_s;
    m.setEntry(test::card(u"cut"_s, u"es"_s, u"en"_s,
                          {{u"word\u2026"_s, cut}, {u"\u2026"_s, {}}, {u"plain"_s, {}}}));
    ASSERT_TRUE(test::waitUntil([&] { return m.glosses().size() == 4; }));
    EXPECT_EQ(batches().last(),
              (QStringList{u"word"_s, u"one two three four five six"_s, QString(), u"plain"_s}));
    EXPECT_EQ(m.glosses().value(cut), u"de:one two three four five six\u2026"_s);
    EXPECT_EQ(m.glosses().value(u"word\u2026"_s), u"de:word\u2026"_s);

    // Nothing to translate for a user whose language is English.
    m.setPair({u"en"_s, u"de"_s});
    m.setEntry(test::card(u"cat"_s, u"de"_s, u"en"_s, {{u"cat"_s, {}}}));
    settle();
    EXPECT_EQ(batches().size(), 5);
}

TEST_F(AppModelTest, AGlossTaskStopsWhenTheCardChanges) {
    SharedSettings::setPair(LanguagePair{u"de"_s, u"en"_s});
    AppModel& m = make();
    const DictionaryEntry dog =
        test::card(u"dog"_s, u"en"_s, u"de"_s,
                   {{u"canine"_s, {}}, {u"hound"_s, {}}, {u"pursuer"_s, {}}, {u"fellow"_s, {}}});
    const DictionaryEntry cat = test::card(u"cat"_s, u"en"_s, u"de"_s, {{u"feline"_s, {}}});
    block(u"canine"_s);
    m.setEntry(dog);
    ASSERT_TRUE(test::waitUntil([&] { return batches().size() == 1; }));
    m.setEntry(cat);
    ASSERT_TRUE(test::waitUntil([&] { return m.glosses().size() == 1; }));
    release(u"canine"_s);
    settle();
    EXPECT_EQ(m.glosses().keys(), QStringList{u"feline"_s});
    EXPECT_EQ(batches().size(), 2);

    // What the stopped task learnt is kept: only the rest is asked for.
    m.setEntry(dog);
    EXPECT_EQ(m.glosses().size(), 3);
    ASSERT_TRUE(test::waitUntil([&] { return m.glosses().size() == 4; }));
    EXPECT_EQ(batches().last(), QStringList{u"fellow"_s});

    // A batch the engine refuses ends the task; the card keeps its English texts.
    refuseBatches = true;
    m.setEntry(test::card(u"fox"_s, u"en"_s, u"de"_s,
                          {{u"a"_s, {}}, {u"b"_s, {}}, {u"c"_s, {}}, {u"d"_s, {}}}));
    settle();
    EXPECT_TRUE(m.glosses().isEmpty());
    EXPECT_EQ(engine->translations(), 4);
}

TEST_F(AppModelTest, SwapSetTargetClearOpenAndShow) {
    AppModel& m = make();
    detection->languages = {{u"hello"_s, u"en"_s}};
    m.show(u"hello"_s);
    run();
    m.swap();
    EXPECT_EQ(m.source(), u"es"_s);
    EXPECT_EQ(m.manualTarget(), u"en"_s);
    EXPECT_EQ(m.input(), u"es:hello"_s);
    run();
    EXPECT_EQ(asked().size(), 1);
    run(220);
    EXPECT_EQ(asked().last(), u"es:hello"_s);

    // Without a translation only the languages turn, at once.
    m.setOutput(QString());
    m.swap();
    EXPECT_EQ(m.source(), u"en"_s);
    EXPECT_EQ(m.manualTarget(), u"es"_s);
    run();
    EXPECT_EQ(asked().size(), 3);

    m.setTarget(u"es"_s);
    EXPECT_EQ(m.manualTarget(), std::nullopt);
    m.setTarget(u"de"_s);
    EXPECT_EQ(m.manualTarget(), u"de"_s);

    m.setInputBox({300, 120});
    m.setInput(QString(40, u'x'));
    EXPECT_LT(m.inputFontSize(), 32);
    m.clear();
    EXPECT_EQ(m.inputFontSize(), 32);
    EXPECT_EQ((QStringList{m.input(), m.output(), m.source()}),
              (QStringList{QString(), QString(), u"auto"_s}));
    EXPECT_FALSE(m.manualTarget() || m.entry() || m.problem());

    m.setTab(Tab::history);
    m.open({u"i"_s, u"tarde"_s, u"late"_s, u"es"_s, u"de"_s, 1, 0, 0, u"mac"_s});
    EXPECT_EQ(m.tab(), Tab::translate);
    EXPECT_EQ(m.source(), u"es"_s);
    EXPECT_EQ(m.manualTarget(), u"de"_s);
    run();
    EXPECT_EQ(m.problem(), Problem::unsupported(u"es"_s, u"de"_s));

    m.setTab(Tab::cards);
    m.show(u"hello"_s);
    EXPECT_EQ(m.tab(), Tab::translate);
    EXPECT_EQ(m.source(), u"auto"_s);
    EXPECT_EQ(m.manualTarget(), std::nullopt);
    run();
    EXPECT_EQ(m.output(), u"es:hello"_s);

    int requests = 0;
    QObject::connect(&m, &AppModel::downloadRequestChanged, [&] { ++requests; });
    m.setDownloadRequest(AppModel::DownloadRequest{u"en"_s, u"de"_s});
    m.setDownloadRequest(AppModel::DownloadRequest{u"en"_s, u"de"_s});
    m.setDownloadRequest(std::nullopt);
    EXPECT_EQ(requests, 3);
}

TEST_F(AppModelTest, StarringDueCardsAndTheCsvExport) {
    AppModel& m = make();
    EXPECT_EQ(m.exportCSV(), u"text,translation,from,to\n"_s);
    detection->languages = {{u"hello"_s, u"en"_s}};
    m.show(u" hello "_s);
    run();
    EXPECT_FALSE(m.isStarred());
    m.toggleStar();
    EXPECT_TRUE(m.isStarred());
    ASSERT_EQ(m.phrases().size(), 1);
    EXPECT_EQ(m.phrases().first().text, u"hello"_s);
    EXPECT_EQ(m.phrases().first().translation, u"es:hello"_s);
    m.toggleStar();
    EXPECT_FALSE(m.isStarred());
    EXPECT_TRUE(m.phrases().isEmpty());

    // A search that hides the phrase shows it unstarred; starring stores the same card again.
    m.toggleStar();
    m.setPhraseSearch(u"zzz"_s);
    EXPECT_FALSE(m.isStarred());
    m.toggleStar();
    landed();
    EXPECT_EQ(store.phrases(QString()).size(), 1);

    m.setInput(u"  "_s);
    m.toggleStar();
    landed();
    EXPECT_EQ(store.phrases(QString()).size(), 1);

    store.addPhrase({u"a"_s, u"say \"hi\", then\nleave"_s, u"di \"hola\""_s, u"en"_s, u"es"_s,
                     test::VirtualTime::epoch + 10, 0, 0, u"mac"_s});
    store.addPhrase({u"b"_s, u"perro"_s, u"dog"_s, u"es"_s, u"en"_s, test::VirtualTime::epoch + 5,
                     0, 0, u"mac"_s});
    store.answer(u"b"_s, true, time->now());
    EXPECT_EQ(m.exportCSV(), u"text,translation,from,to\n"
                             "\"say \"\"hi\"\", then\nleave\",\"di \"\"hola\"\"\",en,es\n"
                             "\"perro\",\"dog\",es,en\n"
                             "\"hello\",\"es:hello\",en,es\n"_s);

    m.setPhraseSearch(QString());
    auto texts = [](const QList<Item>& items) {
        QStringList list;
        for (const Item& item : items)
            list << item.text;
        return list;
    };
    EXPECT_EQ(texts(m.dueCards()), (QStringList{u"say \"hi\", then\nleave"_s, u"hello"_s}));
    m.setPhraseSearch(u"HELLO"_s);
    EXPECT_EQ(texts(m.dueCards()), QStringList{u"hello"_s});
    m.setPhraseSearch(QString());
    time->advance(86'400'000);
    EXPECT_EQ(m.dueCards().size(), 3);
}

// The store refuses a change, or its file turns out damaged: the lists show the change at once
// and take it back, and one line (also on the standard error) says what and why.
TEST_F(AppModelTest, AChangeTheStoreLetsDownIsTakenBackWithOneLine) {
    AppModel& m = make();
    detection->languages = {{u"hello"_s, u"en"_s}};
    m.show(u"hello"_s);
    run();
    executeRaw(store.path(), "CREATE TRIGGER refuse BEFORE INSERT ON phrase "
                             "BEGIN SELECT RAISE(ABORT, 'no room'); END;");
    ErrorCapture errors;
    m.toggleStar();
    EXPECT_TRUE(m.isStarred());
    EXPECT_EQ(m.storeNotice(), std::nullopt);
    landed();
    EXPECT_FALSE(m.isStarred());
    EXPECT_TRUE(m.phrases().isEmpty());
    const QString line =
        u"Tivela couldn\u2019t save \u201Chello\u201D to the phrasebook: its database refused "
        "the change."_s;
    EXPECT_EQ(m.storeNotice(), line);
    EXPECT_EQ(errors.text(), u"tivela: "_s + line + u" (no room)\n"_s);

    // A file that is no database is kept aside when the model starts, and told of.
    QTemporaryDir other;
    const QString damaged = other.filePath(u"tivela.sqlite"_s);
    ASSERT_TRUE(test::writeFile(damaged, QByteArray(4096, 'x')));
    Store junk(damaged);
    AppServices services = AppServices::production(junk, lexicon);
    services.scheduler = time;
    services.downloads = downloads;
    services.detection = detection;
    services.pasteboard = pasteboard;
    services.translator = &translator;
    ErrorCapture startErrors;
    AppModel fresh(services);
    const QStringList kept = QDir(other.path()).entryList({u"tivela-damaged-*.sqlite"_s});
    ASSERT_EQ(kept.size(), 1);
    const QString notice = u"Tivela\u2019s database was damaged and a new one was started; the "
                           "old one is kept beside it as \u201C"_s +
                           kept.first() + u"\u201D."_s;
    EXPECT_EQ(fresh.storeNotice(), notice);
    EXPECT_EQ(startErrors.text(),
              u"tivela: "_s + notice + u" ("_s + other.filePath(kept.first()) + u")\n"_s);
}

// Another program holds the store's lock: the history row waits for it on the writer's thread
// and lands after it; at quit the wait has a bound, and the row it gives up is named.
TEST_F(AppModelTest, HistoryWaitsOutALockAndQuittingGivesUpInTime) {
    AppModel& m = make();
    detection->languages = {{u"hello"_s, u"en"_s}, {u"world"_s, u"en"_s}};
    auto lock = std::make_unique<test::StoreLock>(store.path(), 60000);
    ASSERT_TRUE(lock->isHeld());
    m.show(u"hello"_s);
    run();
    time->advance(AppModel::historyDelayMilliseconds);
    ASSERT_EQ(m.history().size(), 1);
    EXPECT_EQ(m.history().first().translation, u"es:hello"_s);
    settle();
    EXPECT_TRUE(store.history(QString(), 200).isEmpty());
    lock->release();
    landed();
    EXPECT_EQ(store.history(QString(), 200).size(), 1);

    lock = std::make_unique<test::StoreLock>(store.path(), 60000);
    ASSERT_TRUE(lock->isHeld());
    m.show(u"world"_s);
    run();
    ErrorCapture errors;
    QElapsedTimer quitting;
    quitting.start();
    m.flushPendingHistory();
    EXPECT_LT(quitting.elapsed(), AppModel::quitFlushMilliseconds + Store::busyTimeoutMs);
    EXPECT_TRUE(errors.text().startsWith(
        u"tivela: Tivela couldn\u2019t add \u201Cworld\u201D to the history: another program kept "
        "its database locked until Tivela quit."_s));
    lock->release();
    EXPECT_EQ(store.history(QString(), 200).size(), 1);
    EXPECT_EQ(m.history().size(), 1);
}

// A star given before the input's own translation arrives waits for it: the phrasebook never
// pairs a text with the translation of another.
TEST_F(AppModelTest, StarringWhileATranslationIsPendingWaitsForIt) {
    AppModel& m = make();
    detection->languages = {{u"the black cat"_s, u"en"_s}, {u"the white dog"_s, u"en"_s}};
    m.show(u"the black cat"_s);
    run();
    block(u"the white dog"_s);
    m.setInput(u"the white dog"_s);
    EXPECT_FALSE(m.isStarred());
    m.toggleStar(); // still showing the cat's translation
    EXPECT_TRUE(store.phrases(QString()).isEmpty());
    time->advance(AppModel::debounceMilliseconds);
    EXPECT_TRUE(m.translating());
    EXPECT_TRUE(store.phrases(QString()).isEmpty());
    release(u"the white dog"_s);
    run();
    landed();
    const QList<Item> starred = store.phrases(QString());
    ASSERT_EQ(starred.size(), 1);
    EXPECT_EQ(starred.first().text, u"the white dog"_s);
    EXPECT_EQ(starred.first().translation, u"es:the white dog"_s);
    EXPECT_TRUE(m.isStarred());

    // A second press takes the wish back; a wish for a text typed over is dropped.
    m.setInput(u"the black cat"_s);
    m.toggleStar();
    m.toggleStar();
    run(AppModel::debounceMilliseconds);
    m.setInput(u"the white dog"_s);
    m.toggleStar();
    m.setInput(u"the black cat"_s);
    run(AppModel::debounceMilliseconds);
    landed();
    EXPECT_EQ(store.phrases(QString()).size(), 1);
    EXPECT_FALSE(m.isStarred());
}

TEST_F(AppModelTest, TheClipboardIsReadOncePerChangeAndPastedWhole) {
    AppModel& m = make();
    m.refreshClipboard();
    m.refreshClipboard();
    EXPECT_EQ(pasteboard->reads(), 1);
    EXPECT_FALSE(m.clipboardHasText());
    pasteboard->setText(u"hello"_s);
    m.refreshClipboard();
    m.refreshClipboard();
    EXPECT_EQ(pasteboard->reads(), 2);
    EXPECT_TRUE(m.clipboardHasText());

    // Without an editor the text becomes the input, translated at once.
    m.setTab(Tab::phrasebook);
    m.setSource(u"de"_s);
    m.pasteFromClipboard();
    EXPECT_EQ((QStringList{m.input(), rawValue(m.tab()), m.source()}),
              (QStringList{u"hello"_s, u"translate"_s, u"auto"_s}));
    run();
    EXPECT_EQ(asked(), QStringList{u"hello"_s});

    auto editor = std::make_unique<test::FakeEditor>();
    editor->typed = [&](const QString& text) { m.setInput(text); };
    m.setInputView(editor.get());
    pasteboard->setText(u"world"_s);
    m.pasteFromClipboard();
    EXPECT_EQ(editor->replacements, QStringList{u"world"_s});
    EXPECT_TRUE(editor->focused);
    run();
    EXPECT_EQ(asked().last(), u"world"_s);
    EXPECT_EQ(asked().size(), 2);

    m.focusInput();
    EXPECT_EQ(editor->focusRequests, 1);
    editor->focused = false;
    m.setTab(Tab::history);
    m.focusInput();
    m.setTab(Tab::translate);
    editor->inWindow = false;
    m.focusInput();
    EXPECT_EQ(editor->focusRequests, 1);

    // The view is held weakly; an empty clipboard still translates the input at once.
    editor.reset();
    EXPECT_EQ(m.inputView(), nullptr);
    pasteboard->setText(std::nullopt);
    m.pasteFromClipboard();
    m.focusInput();
    EXPECT_EQ(m.input(), u"world"_s);
    run();
    EXPECT_EQ(asked().size(), 3);
}

TEST_F(AppModelTest, TheSystemClipboardCountsItsChanges) {
    const auto system = AppServices::production(store, lexicon).pasteboard;
    const qint64 before = system->changeCount();
    QGuiApplication::clipboard()->setText(u"copied"_s);
    ASSERT_TRUE(test::waitUntil([&] { return system->changeCount() != before; }));
    EXPECT_TRUE(system->hasText());
    EXPECT_EQ(system->text(), u"copied"_s);
    QGuiApplication::clipboard()->clear();
    ASSERT_TRUE(test::waitUntil([&] { return !system->hasText(); }));
    EXPECT_EQ(system->text(), std::nullopt);
}

TEST_F(AppModelTest, FontsRefitOnlyInLaidOutBoxes) {
    AppModel& m = make();
    const QString longText = u"word "_s.repeated(30);
    m.setInput(longText);
    m.setInputBox({10, 200});
    EXPECT_EQ(m.inputFontSize(), 32);
    m.setInputBox({11, 11});
    EXPECT_EQ(m.inputFontSize(), 16);
    m.setInputBox({380, 150});
    const double fitted = m.inputFontSize();
    EXPECT_LT(fitted, 32);
    EXPECT_GT(fitted, 16);

    // Past 3000 code units the floor is taken without measuring; up to there the text is
    // measured.
    const int before = measured;
    m.setInput(QString(3001, u'a'));
    EXPECT_EQ(m.inputFontSize(), 16);
    EXPECT_EQ(measured, before);
    m.setInput(QString(3000, u'a'));
    EXPECT_GT(measured, before);
    m.setInput(QString());
    EXPECT_EQ(m.inputFontSize(), 32);

    m.setOutputBox({380, 150});
    m.setOutput(longText);
    EXPECT_LT(m.outputFontSize(), 34);
    m.setOutput(u"short"_s);
    EXPECT_EQ(m.outputFontSize(), 34);
}
