#include "app/AppModel.h"
#include "core/LanguageDetector.h"
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
#include "support/ModelRig.h"
#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QStringList>

// The translation flow through the model that owns it: what the views see of a run and
// what reaches the history.

using namespace tivela;
using namespace Qt::StringLiterals;
using Problem = AppModel::Problem;

namespace {

using test::settle;
class TranslationFlowTest : public test::ModelRig {
protected:
    // The production services around the given engine and detection, on the test's clock,
    // store and clipboard.
    AppServices realServices(Translator& real, std::shared_ptr<Detection> recogniser) {
        AppServices services = AppServices::production(store, lexicon);
        services.now = [this] { return time->now(); };
        services.preferredLanguages = [] { return QStringList{u"en-US"_s}; };
        services.scheduler = time;
        services.downloads = downloads;
        services.pasteboard = pasteboard;
        services.detection = std::move(recogniser);
        services.translator = &real;
        return services;
    }
};

} // namespace

TEST_F(TranslationFlowTest, TypingIsDebouncedIntoOneEngineCallForTheWholeText) {
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

TEST_F(TranslationFlowTest, HistoryKeepsOnlyTranslationsShownForAWhile) {
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

TEST_F(TranslationFlowTest, AReplacedTranslationChangesNothingVisible) {
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

TEST_F(TranslationFlowTest, SameLanguageAndBlankInputNeedNoEngine) {
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

TEST_F(TranslationFlowTest, EngineErrorsBecomeProblemsUntilTheNextSuccess) {
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
TEST_F(TranslationFlowTest, ATextTheEngineCannotTranslateIsNeverItsOwnTranslation) {
    const QString modes =
        test::modesFolder(u"modes-model"_s, {u"eng-spa"_s, u"spa-eng"_s, u"fr-es"_s, u"es-fr"_s});
    Morphology morphology({modes});
    ASSERT_TRUE(morphology.load({u"en"_s, u"es"_s, u"fr"_s}, std::chrono::seconds(60)))
        << "apertium-eng-spa or apertium-fr-es is not installed";
    Translator apertium(std::make_shared<ApertiumEngine>(ApertiumEngine::Options{modes}));
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    AppServices services =
        realServices(apertium, std::make_shared<RecognizerDetection>(morphology));
    services.dictionary = dictionary;
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
    // Numbers, symbols, links and paths alone have nothing to translate: shown as they stand,
    // they are no translation between two languages to remember.
    for (const QString& text :
         {u"42"_s, u"1234567"_s, u"\U0001F600\U0001F600\U0001F600"_s,
          u"/home/user/documents/report.txt"_s, u"https://example.com/path?q=hello+world"_s}) {
        translate(u"  "_s + text + u"\n"_s);
        EXPECT_EQ(m.output(), text);
        EXPECT_EQ(m.problem(), std::nullopt) << text.toStdString();
    }
    time->advance(2000);
    ASSERT_TRUE(test::waitUntil([&] { return m.writer().pending().isEmpty(); }));
    EXPECT_TRUE(store.history(QString(), 10).isEmpty());

    // Words and names the engine translates, or keeps, are shown and remembered;
    // the engine's capital on a word typed small is not, nor the space of a dropped pronoun.
    const std::pair<QString, QString> kept[] = {
        {u"house"_s, u"casa"_s},
        {u"Maria"_s, u"Maria"_s},
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
        EXPECT_TRUE(row.text != row.translation || row.text == u"Maria");
}

// With English and Spanish as the pair and the German pack installed, the real engine and
// recogniser: a German word is German, detected or chosen, and gets its card beside the
// engine's missing direction.
TEST_F(TranslationFlowTest, AWordOnlyAnInstalledPackKnowsGetsItsCard) {
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
    const AppServices services =
        realServices(apertium, std::make_shared<RecognizerDetection>(morphology, &packs));
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
