#include "core/Translator.h"
#include "support/FakeEngine.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QSemaphore>

#include <ostream>
#include <stdexcept>
#include <thread>

using namespace tivela;
using namespace Qt::StringLiterals;
using test::FakeEngine;

namespace tivela {
void PrintTo(const TranslateError& error, std::ostream* out) {
    *out << "TranslateError(" << int(error.kind()) << ", " << error.what() << ")";
}
} // namespace tivela

namespace {

constexpr bool fast = true;
constexpr bool highFidelity = false;

template <typename T>
std::optional<TranslateError> errorOf(QFuture<T> future) {
    try {
        future.waitForFinished();
        (void)future.result();
    } catch (const TranslateError& error) {
        return error;
    }
    return std::nullopt;
}

class TranslatorTest : public ::testing::Test {
protected:
    // Before the translator, whose threads may still wait on them as it goes.
    QSemaphore entered;
    QSemaphore release;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    Translator translator{engine};

    void install(const QString& source, const QString& target, bool strategy) {
        engine->setStatus(source, target, strategy, EngineStatus::installed);
    }
    QString translate(const QString& text, const QString& from, const QString& to, bool strategy) {
        return translator.translate(text, from, to, strategy).result();
    }
    // English to German translations enter the engine, tell `entered`, and answer "Hallo" once
    // the test releases them.
    void holdGerman() {
        install(u"en"_s, u"de"_s, highFidelity);
        engine->setTranslate(u"en"_s, u"de"_s, highFidelity, [this](const QString&) {
            entered.release();
            if (!release.tryAcquire(1, 20000))
                return EngineResult<QString>::failure(u"never released"_s);
            return EngineResult<QString>::success(u"Hallo"_s);
        });
    }
};

TEST(PairStatusTest, RawValuesRoundTripAndNothingElseReads) {
    for (const PairStatus status :
         {PairStatus::installed, PairStatus::downloadable, PairStatus::unsupported})
        EXPECT_EQ(pairStatus(rawValue(status)), status);
    EXPECT_EQ(rawValue(PairStatus::downloadable), u"downloadable"_s);
    EXPECT_EQ(pairStatus(u"Installed"_s), std::nullopt);
    EXPECT_EQ(pairStatus(QString()), std::nullopt);
}

TEST(TranslateErrorTest, EqualityIsByCaseAndPayload) {
    EXPECT_EQ(TranslateError::notInstalled(u"en"_s, u"de"_s),
              TranslateError::notInstalled(u"en"_s, u"de"_s));
    EXPECT_FALSE(TranslateError::notInstalled(u"en"_s, u"de"_s) ==
                 TranslateError::unsupported(u"en"_s, u"de"_s));
    EXPECT_FALSE(TranslateError::notInstalled(u"en"_s, u"de"_s) ==
                 TranslateError::notInstalled(u"en"_s, u"fr"_s));
    EXPECT_FALSE(TranslateError::failed(u"no engine"_s) == TranslateError::failed(u"x"_s));
    EXPECT_EQ(TranslateError::empty(), TranslateError::empty());
    EXPECT_STREQ(TranslateError::failed(u"wrong script"_s).what(), "wrong script");
}

TEST_F(TranslatorTest, BlankTextIsEmptyBeforeAnythingElse) {
    for (const QString& to : {u"en"_s, u"de"_s})
        EXPECT_EQ(errorOf(translator.translate(u" \n\t \r\n"_s, u"en"_s, to, highFidelity)),
                  TranslateError::empty());
    EXPECT_EQ(errorOf(translator.translate(QString(), u"en"_s, u"de"_s, fast)),
              TranslateError::empty());
    EXPECT_EQ(engine->statusQueries(), 0);
}

TEST_F(TranslatorTest, SameLanguageGivesTheTextBackUntouched) {
    const QString text = u"  Hello,\n  world!\t "_s;
    EXPECT_EQ(translate(text, u"en"_s, u"en"_s, highFidelity), text);
    EXPECT_EQ(engine->statusQueries(), 0);
    EXPECT_EQ(engine->sessionsMade(), 0);
}

TEST_F(TranslatorTest, TheOnlyInstalledStrategyIsUsedAndItsAnswerKeptInAnyScript) {
    install(u"en"_s, u"ru"_s, fast);
    engine->setStatus(u"en"_s, u"ru"_s, highFidelity, EngineStatus::supported);
    engine->setTranslate(u"en"_s, u"ru"_s, fast, FakeEngine::answer(u"Good morning"_s));

    EXPECT_EQ(translate(u"Good morning"_s, u"en"_s, u"ru"_s, highFidelity), u"Good morning"_s);
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"ru"_s, fast), 1);
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"ru"_s, highFidelity), 0);
}

TEST_F(TranslatorTest, WrongScriptFallsToTheOtherStrategyAndBothSessionsStay) {
    install(u"en"_s, u"ru"_s, fast);
    install(u"en"_s, u"ru"_s, highFidelity);
    engine->setTranslate(u"en"_s, u"ru"_s, highFidelity, FakeEngine::answer(u"Good morning"_s));
    engine->setTranslate(u"en"_s, u"ru"_s, fast, FakeEngine::answer(u"Доброе утро"_s));

    EXPECT_EQ(translate(u"Good morning"_s, u"en"_s, u"ru"_s, highFidelity), u"Доброе утро"_s);
    EXPECT_EQ(translate(u"Good morning"_s, u"en"_s, u"ru"_s, highFidelity), u"Доброе утро"_s);
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"ru"_s, highFidelity), 1);
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"ru"_s, fast), 1);
    EXPECT_EQ(engine->sessionsDropped(), 0);
    // Fast first: the low-latency answer is accepted at once.
    const int before = engine->translations();
    EXPECT_EQ(translate(u"Good morning"_s, u"en"_s, u"ru"_s, fast), u"Доброе утро"_s);
    EXPECT_EQ(engine->translations(), before + 1);
}

TEST_F(TranslatorTest, AnErrorThenAWrongScriptIsWrongScriptAndOnlyTheFailedSessionGoes) {
    install(u"en"_s, u"ru"_s, fast);
    install(u"en"_s, u"ru"_s, highFidelity);
    engine->setTranslate(u"en"_s, u"ru"_s, highFidelity, FakeEngine::error(u"model crashed"_s));
    engine->setTranslate(u"en"_s, u"ru"_s, fast, FakeEngine::answer(u"Good morning"_s));

    EXPECT_EQ(errorOf(translator.translate(u"Good morning"_s, u"en"_s, u"ru"_s, highFidelity)),
              TranslateError::failed(u"wrong script"_s));
    EXPECT_EQ(engine->sessionsDropped(), 1);
    errorOf(translator.translate(u"Good morning"_s, u"en"_s, u"ru"_s, highFidelity));
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"ru"_s, highFidelity), 2);
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"ru"_s, fast), 1);
}

TEST_F(TranslatorTest, EngineErrorsReachTheCallerAsFailedWithTheLastDescription) {
    install(u"en"_s, u"de"_s, fast);
    install(u"en"_s, u"de"_s, highFidelity);
    engine->setTranslate(u"en"_s, u"de"_s, highFidelity, FakeEngine::error(u"first"_s));
    engine->failSessions(u"en"_s, u"de"_s, fast, u"cannot start"_s);
    EXPECT_EQ(errorOf(translator.translate(u"Hello"_s, u"en"_s, u"de"_s, highFidelity)),
              TranslateError::failed(u"cannot start"_s));

    // A session that cannot be made gives way to the next strategy.
    engine->setTranslate(u"en"_s, u"de"_s, highFidelity, FakeEngine::answer(u"Hallo"_s));
    EXPECT_EQ(translate(u"Hello"_s, u"en"_s, u"de"_s, fast), u"Hallo"_s);

    // Anything else the engine throws is a failure with its description.
    engine->setTranslate(
        u"en"_s, u"fr"_s, highFidelity,
        [](const QString&) -> EngineResult<QString> { throw std::runtime_error("out of memory"); });
    install(u"en"_s, u"fr"_s, highFidelity);
    EXPECT_EQ(errorOf(translator.translate(u"Hello"_s, u"en"_s, u"fr"_s, highFidelity)),
              TranslateError::failed(u"out of memory"_s));
}

TEST_F(TranslatorTest, PairsWithoutAnInstalledStrategyKeepTheCallersCodes) {
    engine->setStatus(u"zh-Hant"_s, u"en"_s, highFidelity, EngineStatus::supported);
    engine->setStatus(u"zh-Hant"_s, u"en"_s, fast, EngineStatus::supported);
    EXPECT_EQ(errorOf(translator.translate(u"早安"_s, u"zh-TW"_s, u"en"_s, fast)),
              TranslateError::notInstalled(u"zh-TW"_s, u"en"_s));
    EXPECT_EQ(translator.status(u"zh-TW"_s, u"en"_s, fast).result(), PairStatus::downloadable);

    // The high-fidelity status decides, whatever the low-latency one says.
    engine->setStatus(u"en"_s, u"ja"_s, fast, EngineStatus::supported);
    EXPECT_EQ(errorOf(translator.translate(u"Hello"_s, u"en"_s, u"ja"_s, fast)),
              TranslateError::unsupported(u"en"_s, u"ja"_s));
    EXPECT_EQ(translator.status(u"en"_s, u"ja"_s, highFidelity).result(), PairStatus::unsupported);
    EXPECT_EQ(engine->sessionsMade(), 0);
}

TEST_F(TranslatorTest, APairThatBecomesReadyMeanwhileIsTranslated) {
    std::atomic<int> asked = 0;
    // Both strategy queries say downloadable; the session's own query finds the pair installed.
    engine->setStatusFunction([&](const QString&, const QString&, bool) {
        return ++asked > 2 ? EngineStatus::installed : EngineStatus::supported;
    });
    engine->setTranslate(u"en"_s, u"de"_s, highFidelity, FakeEngine::answer(u"Hallo"_s));
    EXPECT_EQ(translate(u"Hello"_s, u"en"_s, u"de"_s, fast), u"Hallo"_s);
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"de"_s, highFidelity), 1);
}

TEST_F(TranslatorTest, OneEngineBehindBothStrategiesIsNotCountedTwice) {
    engine->setOneEngine(true);
    install(u"en"_s, u"ru"_s, fast);
    install(u"en"_s, u"ru"_s, highFidelity);
    engine->setTranslate(u"en"_s, u"ru"_s, highFidelity, FakeEngine::answer(u"Good morning"_s));

    EXPECT_EQ(translate(u"Good morning"_s, u"en"_s, u"ru"_s, fast), u"Good morning"_s);
    EXPECT_EQ(translate(u"Good morning"_s, u"en"_s, u"ru"_s, highFidelity), u"Good morning"_s);
    EXPECT_EQ(translator.translate(QStringList{u"a"_s}, u"en"_s, u"ru"_s, fast).result(),
              QStringList{u"a"_s});
    EXPECT_EQ(engine->sessionsMade(), 1);
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"ru"_s, highFidelity), 1);
}

TEST_F(TranslatorTest, SessionsAreMadeOnceAndStatusesAskedEveryTime) {
    install(u"en"_s, u"de"_s, fast);
    install(u"en"_s, u"de"_s, highFidelity);
    translate(u"Hello"_s, u"en"_s, u"de"_s, highFidelity);
    EXPECT_EQ(engine->statusQueries(), 3);
    translate(u"Hello"_s, u"en"_s, u"de"_s, highFidelity);
    EXPECT_EQ(engine->statusQueries(), 5);
    EXPECT_EQ(engine->sessionsMade(), 1);
    translator.status(u"en"_s, u"de"_s, fast).waitForFinished();
    translator.status(u"en"_s, u"de"_s, fast).waitForFinished();
    EXPECT_EQ(engine->statusQueries(), 7);
}

TEST_F(TranslatorTest, BatchAnswersAreFiledByTheirIdentifiers) {
    install(u"en"_s, u"de"_s, highFidelity);
    engine->setBatch(u"en"_s, u"de"_s, highFidelity,
                     FakeEngine::responses({{u"2"_s, u"drei"_s},
                                            {u"7"_s, u"sieben"_s},
                                            {u"0"_s, u"eins"_s},
                                            {std::nullopt, u"ohne"_s},
                                            {u"-1"_s, u"minus"_s},
                                            {u" 1"_s, u"leer"_s},
                                            {u"1x"_s, u"x"_s},
                                            {u"99999999999999999999"_s, u"gross"_s}}));
    EXPECT_EQ(
        translator
            .translate(QStringList{u"one"_s, u"two"_s, u"three"_s}, u"en"_s, u"de"_s, highFidelity)
            .result(),
        (QStringList{u"eins"_s, u"two"_s, u"drei"_s}));

    engine->setBatch(u"en"_s, u"fr"_s, highFidelity, FakeEngine::responses({{u"+1"_s, u"deux"_s}}));
    install(u"en"_s, u"fr"_s, highFidelity);
    EXPECT_EQ(
        translator.translate(QStringList{u"one"_s, u"two"_s}, u"en"_s, u"fr"_s, fast).result(),
        (QStringList{u"one"_s, u"deux"_s}));
}

TEST_F(TranslatorTest, BatchesSendEveryTextAsItIs) {
    QList<EngineRequest> sent;
    install(u"en"_s, u"en"_s, highFidelity);
    engine->setBatch(u"en"_s, u"en"_s, highFidelity, [&](const QList<EngineRequest>& requests) {
        sent = requests;
        return EngineResult<QList<EngineResponse>>::success({});
    });
    EXPECT_EQ(translator.translate(QStringList{}, u"en"_s, u"de"_s, fast).result(), QStringList());
    EXPECT_EQ(engine->statusQueries(), 0);

    // Equal languages, blank texts: all go to the engine.
    const QStringList batch{u" a "_s, QString(), u"\n"_s};
    EXPECT_EQ(translator.translate(batch, u"en"_s, u"en"_s, highFidelity).result(), batch);
    EXPECT_EQ(sent,
              (QList<EngineRequest>{{u" a "_s, u"0"_s}, {QString(), u"1"_s}, {u"\n"_s, u"2"_s}}));
}

TEST_F(TranslatorTest, BatchUsesThePreferredInstalledStrategyAndDropsItOnError) {
    install(u"en"_s, u"de"_s, fast);
    install(u"en"_s, u"de"_s, highFidelity);
    engine->setBatch(u"en"_s, u"de"_s, fast, FakeEngine::batchError(u"busy"_s));
    EXPECT_EQ(errorOf(translator.translate(QStringList{u"a"_s}, u"en"_s, u"de"_s, fast)),
              TranslateError::failed(u"busy"_s));
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"de"_s, fast), 1);
    EXPECT_EQ(engine->sessionsDropped(), 1);
    // No second strategy for a batch.
    EXPECT_EQ(engine->sessionsMade(u"en"_s, u"de"_s, highFidelity), 0);

    engine->setStatus(u"en"_s, u"it"_s, highFidelity, EngineStatus::supported);
    EXPECT_EQ(errorOf(translator.translate(QStringList{u"a"_s}, u"en"_s, u"it"_s, fast)),
              TranslateError::notInstalled(u"en"_s, u"it"_s));
    EXPECT_EQ(errorOf(translator.translate(QStringList{u"a"_s}, u"en"_s, u"ko"_s, fast)),
              TranslateError::unsupported(u"en"_s, u"ko"_s));
}

TEST_F(TranslatorTest, SupportedLanguagesAreTheSystemsCodesAskedOnce) {
    engine->setLanguages({u"en"_s, u"zh-Hans"_s, u"zh-Hant"_s, u"nn"_s, u"nb"_s, u"pt-BR"_s});
    const QSet<QString> expected{u"en"_s, u"zh"_s, u"zh-TW"_s, u"nb"_s, u"pt"_s};
    EXPECT_EQ(translator.supportedLanguages().result(), expected);
    engine->setLanguages({});
    EXPECT_EQ(translator.supportedLanguages().result(), expected);
    EXPECT_EQ(engine->languageQueries(), 1);

    // An empty answer is kept as well.
    auto other = std::make_shared<FakeEngine>();
    Translator fresh(other);
    EXPECT_TRUE(fresh.supportedLanguages().result().isEmpty());
    other->setLanguages({u"en"_s});
    EXPECT_TRUE(fresh.supportedLanguages().result().isEmpty());
    EXPECT_EQ(other->languageQueries(), 1);
}

TEST_F(TranslatorTest, WaitingNeedsNoEventLoopAndEngineWorkHoldsNoLock) {
    holdGerman();
    install(u"en"_s, u"es"_s, highFidelity);
    engine->setTranslate(u"en"_s, u"es"_s, highFidelity, FakeEngine::answer(u"Hola"_s));

    // A worker thread blocks on the future, as the bridge host does; this thread runs no
    // event loop while it waits.
    QString german;
    std::thread worker(
        [&] { german = translator.translate(u"Hello"_s, u"en"_s, u"de"_s, false).result(); });
    ASSERT_TRUE(entered.tryAcquire(1, 10000));

    // While that translation is inside the engine, the translator still answers.
    auto spanish = translator.translate(u"Hello"_s, u"en"_s, u"es"_s, highFidelity);
    auto status = translator.status(u"en"_s, u"de"_s, highFidelity);
    auto languages = translator.supportedLanguages();
    spanish.waitForFinished();
    status.waitForFinished();
    languages.waitForFinished();
    EXPECT_EQ(spanish.result(), u"Hola"_s);
    EXPECT_EQ(status.result(), PairStatus::installed);

    release.release();
    worker.join();
    EXPECT_EQ(german, u"Hallo"_s);
}

// A page of translations holding every thread the translator has for them: the pair's status
// and the languages are still answered.
TEST_F(TranslatorTest, QuestionsNeverWaitBehindTranslations) {
    holdGerman();
    QList<QFuture<QString>> held;
    for (int i = 0; i < 16; ++i)
        held << translator.translate(u"Hello %1"_s.arg(i), u"en"_s, u"de"_s, highFidelity);
    ASSERT_TRUE(entered.tryAcquire(4, 10000));

    const auto status = translator.status(u"en"_s, u"de"_s, highFidelity);
    const auto languages = translator.supportedLanguages();
    EXPECT_TRUE(test::waitUntil([&] { return status.isFinished() && languages.isFinished(); }))
        << "a question waited for the translations";
    EXPECT_EQ(status.result(), PairStatus::installed);
    release.release(int(held.size()));
    for (const auto& translation : held)
        EXPECT_EQ(translation.result(), u"Hallo"_s);
}

TEST_F(TranslatorTest, ManyCallersAtOnceAllGetTheirAnswers) {
    install(u"en"_s, u"de"_s, highFidelity);
    engine->setTranslate(u"en"_s, u"de"_s, highFidelity, [](const QString& text) {
        return EngineResult<QString>::success(text.toUpper());
    });
    QList<QFuture<QString>> futures;
    for (int i = 0; i < 64; ++i)
        futures << translator.translate(u"text %1"_s.arg(i), u"en"_s, u"de"_s, highFidelity);
    for (int i = 0; i < futures.size(); ++i)
        EXPECT_EQ(futures[i].result(), u"TEXT %1"_s.arg(i));
    // Calls that missed the cache together may each have made a session; one stays.
    EXPECT_EQ(engine->sessionsMade() - engine->sessionsDropped(), 1);
}

} // namespace
