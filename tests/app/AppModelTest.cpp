#include "app/AppModel.h"
#include "core/Lexicon.h"
#include "core/Paths.h"
#include "core/Translator.h"
#include "platform/engine/ApertiumEngine.h"
#include "platform/recognizer/Cld2Recognizer.h"
#include "platform/recognizer/Morphology.h"
#include "platform/recognizer/PackWords.h"
#include "platform/recognizer/PassThrough.h"
#include "support/EntryPrinter.h"
#include "support/FakeAppServices.h"
#include "support/FakeEngine.h"
#include "support/PackFiles.h"
#include "support/StoreLock.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMutex>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <map>

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

class AppModelTest : public ::testing::Test {
protected:
    AppModelTest() {
        QFile::remove(Paths::defaultsFile());
        engine->setLanguages({u"en"_s, u"es"_s, u"de"_s, u"fr"_s});
        for (const auto& [from, to] : {std::pair{u"en"_s, u"es"_s},
                                       {u"es"_s, u"en"_s},
                                       {u"de"_s, u"en"_s},
                                       {u"en"_s, u"de"_s}}) {
            engine->setStatus(from, to, false, EngineStatus::installed);
            engine->setTranslate(from, to, false, [this, to](const QString& text) {
                record(&m_asked, text);
                wait(text);
                return EngineResult<QString>::success(QString(to + u':' + text));
            });
        }
        engine->setBatch(u"en"_s, u"de"_s, false, [this](const QList<EngineRequest>& requests) {
            QStringList texts;
            QList<EngineResponse> answers;
            for (const EngineRequest& request : requests) {
                texts << request.sourceText;
                const bool kept = request.sourceText == u"Paris"_s;
                answers << EngineResponse{request.clientIdentifier,
                                          kept ? request.sourceText
                                               : u"de:"_s + request.sourceText};
            }
            record(&m_batches, texts);
            wait(texts.first());
            if (refuseBatches)
                return EngineResult<QList<EngineResponse>>::failure(u"refused"_s);
            return EngineResult<QList<EngineResponse>>::success(answers);
        });
    }

    AppModel& make(const QStringList& preferred = {u"en-US"_s}, bool realDictionary = false) {
        model.reset();
        AppServices services = AppServices::production(store, lexicon);
        services.now = [this] { return time->now(); };
        services.preferredLanguages = [preferred] { return preferred; };
        services.scheduler = time;
        services.fits = [this, real = services.fits](const QString& text, double size, double width,
                                                     double height) {
            ++measured;
            return real(text, size, width, height);
        };
        if (!realDictionary)
            services.dictionary = dictionary;
        services.downloads = downloads;
        services.detection = detection;
        services.pasteboard = pasteboard;
        services.translator = &translator;
        model = std::make_unique<AppModel>(services);
        EXPECT_TRUE(test::waitUntil([this] { return !model->languages().isEmpty(); }));
        time->advance(0);
        return *model;
    }

    template <typename List, typename Value>
    void record(List* list, const Value& value) {
        QMutexLocker lock(&m_mutex);
        *list << value;
    }
    QStringList asked() {
        QMutexLocker lock(&m_mutex);
        return m_asked;
    }
    QList<QStringList> batches() {
        QMutexLocker lock(&m_mutex);
        return m_batches;
    }

    // Engine calls for a blocked text wait until the test releases it.
    void block(const QString& text) { gates[text]; }
    void release(const QString& text) { gates.at(text).release(); }
    void wait(const QString& text) {
        if (const auto it = gates.find(text); it != gates.end())
            it->second.tryAcquire(1, 10000);
    }

    // Lets the scheduled translation run and waits for the engine's answer.
    void run(int milliseconds = 0) {
        time->advance(milliseconds);
        ASSERT_TRUE(test::waitUntil([this] { return !model->translating(); }));
    }
    // Waits until every change handed to the store's writer has landed.
    void landed() {
        ASSERT_TRUE(test::waitUntil([this] { return model->writer().pending().isEmpty(); }));
    }

    QTemporaryDir dir;
    Store store{dir.filePath(u"tivela.sqlite"_s)};
    Lexicon lexicon{dir.filePath(u"Lexicon"_s)};
    std::shared_ptr<test::VirtualTime> time = std::make_shared<test::VirtualTime>();
    std::shared_ptr<test::FakeDictionary> dictionary = std::make_shared<test::FakeDictionary>();
    std::shared_ptr<test::FakeDownloads> downloads = std::make_shared<test::FakeDownloads>();
    std::shared_ptr<test::FakeDetection> detection = std::make_shared<test::FakeDetection>();
    std::shared_ptr<test::FakePasteboard> pasteboard = std::make_shared<test::FakePasteboard>();
    // What the engine was asked, from the translator's threads.
    QMutex m_mutex;
    QStringList m_asked;
    QList<QStringList> m_batches;
    // Set up before the engine is asked.
    std::map<QString, QSemaphore> gates;
    std::atomic<bool> refuseBatches = false;
    int measured = 0;
    std::shared_ptr<test::FakeEngine> engine = std::make_shared<test::FakeEngine>();
    Translator translator{engine};
    std::unique_ptr<AppModel> model;
};

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
    // languages are known; a language the engine lacks gives way to English.
    struct Case {
        QString preferred;
        LanguagePair atStart;
        LanguagePair loaded;
        int downloads;
    };
    for (const Case& c : {Case{u"de-DE"_s, {u"de"_s, u"en"_s}, {u"de"_s, u"en"_s}, 1},
                          Case{u"en-GB"_s, {u"en"_s, u"es"_s}, {u"en"_s, u"es"_s}, 1},
                          Case{u"it-IT"_s, {u"it"_s, u"en"_s}, {u"en"_s, u"es"_s}, 2}}) {
        QFile::remove(Paths::defaultsFile());
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

TEST_F(AppModelTest, TypingIsDebouncedIntoOneEngineCallForTheWholeText) {
    AppModel& m = make();
    int inputSignals = 0;
    QObject::connect(&m, &AppModel::inputChanged, [&] { ++inputSignals; });
    for (const QString& typed : {u"h"_s, u"he"_s, u"hel"_s, u"hell"_s, u"hello"_s}) {
        m.setInput(typed);
        time->advance(100);
    }
    time->advance(119);
    settle();
    EXPECT_EQ(engine->translations(), 0);
    run(1);
    EXPECT_EQ(asked(), QStringList{u"hello"_s});
    EXPECT_EQ(m.output(), u"en:hello"_s);
    // Nothing detected: from the second language into its target.
    EXPECT_EQ(m.outputFrom(), u"es"_s);
    EXPECT_EQ(m.outputTo(), u"en"_s);

    m.setInput(u"hello"_s);
    run(1000);
    EXPECT_EQ(inputSignals, 5);
    EXPECT_EQ(engine->translations(), 1);
}

TEST_F(AppModelTest, HistoryKeepsOnlyTranslationsShownForAWhile) {
    AppModel& m = make();
    detection->languages = {{u"one"_s, u"en"_s}, {u"two"_s, u"en"_s}, {u"three"_s, u"en"_s}};
    m.show(u"one"_s);
    run();
    time->advance(1000);
    m.show(u"  two\n"_s);
    run();
    time->advance(1499);
    EXPECT_TRUE(m.history().isEmpty());
    time->advance(1);
    ASSERT_EQ(m.history().size(), 1);
    const Item row = m.history().first();
    EXPECT_EQ((QStringList{row.text, row.translation, row.from, row.to, row.origin}),
              (QStringList{u"two"_s, u"es:two"_s, u"en"_s, u"es"_s, u"mac"_s}));
    EXPECT_EQ(row.id.size(), 36);
    EXPECT_EQ(row.created, test::VirtualTime::epoch + 1.0);

    m.show(u"three"_s);
    run();
    time->advance(2000);
    EXPECT_EQ(m.history().size(), 2);

    // A write still pending when the application quits is not lost, and not repeated later.
    m.show(u"one"_s);
    run();
    m.flushPendingHistory();
    EXPECT_EQ(m.history().size(), 3);
    store.clearHistory();
    time->advance(2000);
    m.setHistorySearch(QString());
    EXPECT_TRUE(m.history().isEmpty());
    // The same search text still reloads.
    store.addHistory({u"x"_s, u"late"_s, u"tarde"_s, u"en"_s, u"es"_s, 5, 0, 0, u"mac"_s});
    m.setHistorySearch(QString());
    EXPECT_EQ(m.history().size(), 1);
}

TEST_F(AppModelTest, AReplacedTranslationChangesNothingVisible) {
    AppModel& m = make();
    QStringList outputs;
    QList<bool> translating;
    QObject::connect(&m, &AppModel::outputChanged, [&] { outputs << m.output(); });
    QObject::connect(&m, &AppModel::translatingChanged, [&] { translating << m.translating(); });
    block(u"first"_s);
    block(u"second"_s);
    m.show(u"first"_s);
    time->advance(0);
    ASSERT_TRUE(test::waitUntil([&] { return asked().size() == 1; }));
    m.show(u"second"_s);
    time->advance(0);
    ASSERT_TRUE(test::waitUntil([&] { return asked().size() == 2; }));
    release(u"first"_s);
    settle();
    // The newer run is still working: the replaced one leaves its flag alone.
    EXPECT_TRUE(m.translating());
    EXPECT_TRUE(outputs.isEmpty());
    release(u"second"_s);
    run();
    EXPECT_EQ(outputs, QStringList{u"en:second"_s});
    EXPECT_EQ(translating, (QList<bool>{true, false}));
    time->advance(2000);
    ASSERT_EQ(m.history().size(), 1);
    EXPECT_EQ(m.history().first().text, u"second"_s);
}

TEST_F(AppModelTest, SameLanguageAndBlankInputNeedNoEngine) {
    AppModel& m = make();
    m.setSource(u"zh"_s);
    m.setManualTarget(u"zh-TW"_s);
    m.setInput(u" 你好 "_s);
    run(220);
    EXPECT_EQ(m.output(), u"你好"_s);
    EXPECT_EQ(m.outputFrom(), u"zh"_s);
    EXPECT_EQ(m.outputTo(), u"zh-TW"_s);
    // A single word still gets its card looked up.
    ASSERT_TRUE(test::waitUntil([&] { return !m.dictionaryLoading(); }));
    EXPECT_EQ(dictionary->lookups(), QStringList{u"你好"_s});

    m.setSource(u"auto"_s);
    m.setManualTarget(std::nullopt);
    detection->languages = {{u"dog"_s, u"en"_s}};
    dictionary->add(test::card(u"dog"_s, u"en"_s, u"es"_s, {{u"canine"_s, {}}}));
    m.setInput(u"dog"_s);
    run(220);
    ASSERT_TRUE(test::waitUntil([&] { return m.entry().has_value() && !m.dictionaryLoading(); }));
    EXPECT_EQ(m.detected(), u"en"_s);
    m.setInput(u" \n\t "_s);
    run(220);
    EXPECT_EQ(m.output(), QString());
    EXPECT_EQ(m.entry(), std::nullopt);
    EXPECT_EQ(m.detected(), std::nullopt);
    EXPECT_EQ(engine->translations(), 1);
    time->advance(2000);
    EXPECT_EQ(m.history().size(), 1);
}

TEST_F(AppModelTest, EngineErrorsBecomeProblemsUntilTheNextSuccess) {
    AppModel& m = make();
    engine->setStatus(u"en"_s, u"fr"_s, false, EngineStatus::supported);
    engine->setStatus(u"fr"_s, u"en"_s, false, EngineStatus::installed);
    engine->setTranslate(u"fr"_s, u"en"_s, false, test::FakeEngine::error(u"engine broke"_s));
    m.show(u"chat"_s);
    run();
    EXPECT_EQ(m.output(), u"en:chat"_s);

    struct Case {
        QString from;
        QString to;
        Problem problem;
    };
    for (const Case& c : {Case{u"en"_s, u"fr"_s, Problem::notInstalled(u"en"_s, u"fr"_s)},
                          Case{u"en"_s, u"it"_s, Problem::unsupported(u"en"_s, u"it"_s)},
                          Case{u"fr"_s, u"en"_s, Problem::failed(u"engine broke"_s)}}) {
        m.setSource(c.from);
        m.setManualTarget(c.to);
        run();
        EXPECT_EQ(m.problem(), c.problem);
        EXPECT_EQ(m.output(), QString());
    }
    m.setSource(u"es"_s);
    m.setManualTarget(std::nullopt);
    run();
    EXPECT_EQ(m.problem(), std::nullopt);
    EXPECT_EQ(m.output(), u"en:chat"_s);
}

namespace {

// The production recogniser, on the analysers of the test's own modes folder.
class RecognizerDetection : public Detection {
public:
    explicit RecognizerDetection(Morphology& morphology, PackWords* packs = nullptr)
        : m_morphology(morphology)
        , m_packs(packs) {}
    std::optional<QString> detect(const QString& text, const QStringList& hints) override {
        Cld2Recognizer recognizer(m_morphology, m_packs);
        const auto guess = LanguageDetector::detectAny(text, hints, recognizer);
        return guess ? std::optional(guess->code) : std::nullopt;
    }
    bool isSingleWord(const QString& text) override { return LanguageDetector::isSingleWord(text); }
    bool leftUntranslated(const QString& text, const QString& answer,
                          const QString& from) override {
        return PassThrough::leftUntranslated(m_morphology, text, answer, from);
    }

private:
    Morphology& m_morphology;
    PackWords* m_packs;
};

} // namespace

// With English and Spanish as the pair, French installed beside it, the real engine and
// recogniser: a text in a language the engine lacks for the pair fails honestly instead of
// coming back as its own translation, and no history row repeats a text.
TEST_F(AppModelTest, ATextTheEngineCannotTranslateIsNeverItsOwnTranslation) {
    const QString modes =
        test::modesFolder(u"modes-model"_s, {u"eng-spa"_s, u"spa-eng"_s, u"fr-es"_s, u"es-fr"_s});
    Morphology morphology({modes});
    ASSERT_TRUE(morphology.load({u"en"_s, u"es"_s, u"fr"_s}, std::chrono::seconds(60)))
        << "apertium-eng-spa or apertium-fr-es is not installed";
    Translator apertium(std::make_shared<ApertiumEngine>(ApertiumEngine::Options{modes}));
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    AppServices services = AppServices::production(store, lexicon);
    services.now = [this] { return time->now(); };
    services.preferredLanguages = [] { return QStringList{u"en-US"_s}; };
    services.scheduler = time;
    services.dictionary = dictionary;
    services.downloads = downloads;
    services.pasteboard = pasteboard;
    services.detection = std::make_shared<RecognizerDetection>(morphology);
    services.translator = &apertium;
    AppModel m(services);
    ASSERT_TRUE(test::waitUntil([&] { return !m.languages().isEmpty(); }));
    // The engine's first answer waits for its stages to load their dictionaries.
    const auto translate = [&](const QString& text) {
        m.show(text);
        time->advance(0);
        ASSERT_TRUE(test::waitUntil([&] { return !m.translating(); }, 60000));
    };
    const auto shown = [&] {
        return QStringList{m.detected().value_or(u"-"_s), m.output(),
                           m.problem() ? m.problem()->from + u'>' + m.problem()->to : u"-"_s};
    };

    const struct {
        QString text;
        Problem problem;
    } untranslatable[] = {
        {u"Der Hund ist im Haus und schläft"_s, Problem::unsupported(u"de"_s, u"en"_s)},
        {u"犬は家で寝ている"_s, Problem::unsupported(u"ja"_s, u"en"_s)},
        {u"Bonjour"_s, Problem::unsupported(u"fr"_s, u"en"_s)},
    };
    for (const auto& [text, problem] : untranslatable) {
        translate(text);
        EXPECT_EQ(m.problem(), problem) << text.toStdString();
        EXPECT_EQ(m.output(), QString()) << text.toStdString();
        EXPECT_EQ(m.detected(), problem.from);
    }
    // Words no installed language knows, taken for the pair's, and a source chosen by hand
    // that the text is not in: the engine hands the text back, which is no translation.
    for (const QString& text : {u"Hund"_s, u"Katze"_s, u"hosue"_s}) {
        translate(text);
        EXPECT_EQ(m.problem(), Problem::failed(u"left untranslated"_s)) << text.toStdString();
        EXPECT_EQ(m.output(), QString());
    }
    for (const QString& text : {u"Bonjour"_s, u"Der Hund ist im Haus und schläft"_s}) {
        translate(text);
        m.setSource(u"en"_s);
        time->advance(0);
        ASSERT_TRUE(test::waitUntil([&] { return !m.translating(); }, 60000));
        EXPECT_EQ(m.problem(), Problem::failed(u"left untranslated"_s)) << text.toStdString();
        EXPECT_EQ(m.output(), QString());
    }
    time->advance(2000);
    ASSERT_TRUE(test::waitUntil([&] { return m.writer().pending().isEmpty(); }));
    EXPECT_TRUE(store.history(QString(), 10).isEmpty());

    // Words, names and numbers the engine translates, or keeps, are shown and remembered;
    // the engine's capital on a word typed small is not, nor the space of a dropped pronoun.
    const std::pair<QString, QString> kept[] = {
        {u"house"_s, u"casa"_s},
        {u"Maria"_s, u"Maria"_s},
        {u"42"_s, u"42"_s},
        {u"I am hungry"_s, u"Tengo hambre"_s},
        {u"See https://example.com/path?q=hello+world now"_s,
         u"Ve https://example.com/path?q=hello+world ahora"_s}};
    for (const auto& [text, translation] : kept) {
        translate(text);
        EXPECT_EQ(m.output(), translation);
        EXPECT_EQ(m.problem(), std::nullopt) << text.toStdString();
        time->advance(2000);
        ASSERT_TRUE(test::waitUntil([&] {
            const QList<Item> rows = store.history(QString(), 10);
            return !rows.isEmpty() && rows.first().text == text;
        }));
        EXPECT_EQ(store.history(QString(), 10).first().translation, translation);
    }

    // A burst of texts, the last arriving while the engine works on the one before: only the
    // last is shown, and nothing of the burst repeats itself in the history.
    for (int i = 0; i < 40; ++i)
        m.show(i % 3 == 0   ? u"the house is big"_s
               : i % 3 == 1 ? u"Hund"_s
                            : u"Der Hund ist im Haus und schläft"_s);
    time->advance(0);
    m.show(u"犬は家で寝ている"_s);
    time->advance(0);
    ASSERT_TRUE(test::waitUntil([&] { return !m.translating(); }, 60000));
    EXPECT_EQ(shown(), (QStringList{u"ja"_s, QString(), u"ja>en"_s}));
    time->advance(2000);
    ASSERT_TRUE(test::waitUntil([&] { return m.writer().pending().isEmpty(); }));
    EXPECT_EQ(store.history(QString(), 10).size(), qsizetype(std::size(kept)));
    for (const Item& row : store.history(QString(), 10))
        EXPECT_TRUE(row.text != row.translation || row.text == u"Maria" || row.text == u"42");
}

// With English and Spanish as the pair and the German pack installed, the real engine and
// recogniser: a German word is German, detected or chosen, and gets its card beside the
// engine's missing direction.
TEST_F(AppModelTest, AWordOnlyAnInstalledPackKnowsGetsItsCard) {
    const QString modes = test::modesFolder(u"modes-pack-words"_s, {u"eng-spa"_s, u"spa-eng"_s});
    Morphology morphology({modes});
    ASSERT_TRUE(morphology.load({u"en"_s, u"es"_s}, std::chrono::seconds(60)))
        << "apertium-eng-spa is not installed";
    const QString entry = uR"({"e":[["noun","","",[["%1",[],[]]]]]})"_s;
    ASSERT_TRUE(test::writeFile(lexicon.packPath(u"de"_s),
                                test::packText({{u"whaus"_s, entry.arg(u"house"_s)},
                                                {u"wzeitung"_s, entry.arg(u"newspaper"_s)}})));
    PackWords packs({lexicon.directory()});
    ASSERT_TRUE(packs.load(std::chrono::seconds(60)));
    Translator apertium(std::make_shared<ApertiumEngine>(ApertiumEngine::Options{modes}));
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    AppServices services = AppServices::production(store, lexicon);
    services.now = [this] { return time->now(); };
    services.preferredLanguages = [] { return QStringList{u"en-US"_s}; };
    services.scheduler = time;
    services.downloads = downloads;
    services.pasteboard = pasteboard;
    services.detection = std::make_shared<RecognizerDetection>(morphology, &packs);
    services.translator = &apertium;
    AppModel m(services);
    ASSERT_TRUE(test::waitUntil([&] { return !m.languages().isEmpty(); }));
    const auto settled = [&] {
        time->advance(220);
        ASSERT_TRUE(
            test::waitUntil([&] { return !m.translating() && !m.dictionaryLoading(); }, 60000));
    };

    m.show(u"Zeitung"_s);
    settled();
    EXPECT_EQ(m.detected(), u"de"_s);
    ASSERT_TRUE(m.entry());
    EXPECT_EQ(m.entry()->meanings.first().gloss, u"newspaper"_s);
    EXPECT_EQ(m.problem(), Problem::unsupported(u"de"_s, u"en"_s));

    // German chosen by hand, as the source menu offers it.
    m.setSource(u"de"_s);
    m.setInput(u"Haus"_s);
    settled();
    EXPECT_EQ(m.detected(), std::nullopt);
    ASSERT_TRUE(m.entry());
    EXPECT_EQ(m.entry()->meanings.first().gloss, u"house"_s);
    EXPECT_EQ(m.problem(), Problem::unsupported(u"de"_s, u"en"_s));
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
