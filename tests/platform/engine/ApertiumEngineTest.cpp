#include "platform/engine/ApertiumEngine.h"
#include "core/Translator.h"
#include "support/Processes.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <csignal>
#include <unistd.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

bool allGone(const QList<pid_t>& pids, std::chrono::milliseconds within = 10s) {
    QElapsedTimer timer;
    timer.start();
    while (std::any_of(pids.begin(), pids.end(), test::isRunning)) {
        if (timer.elapsed() > within.count())
            return false;
        QThread::msleep(10);
    }
    return true;
}

QString tricky() {
    return u"  ^$[]{}/@<>\\~*#\tx\r\n\n\n  y  😀 ❤️ a*b #tag @me ~/x\\y [[t:1]] .[] \u00a0z  "_s;
}

QString large() {
    QString text;
    while (text.size() < 200 * 1024)
        text += u"Line %1: ^$[x]{y}/@<a1>\\~*# tab\there\r\nemoji 😀 end.\n\n"_s.arg(text.size());
    return text;
}

class ApertiumFixtureTest : public ::testing::Test {
protected:
    QTemporaryDir folder;

    void mode(const QString& name, const QString& pipeline) {
        QFile file(folder.filePath(name + u".mode"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(pipeline.toUtf8() + '\n');
    }
    QString script(const QString& name, const QByteArray& body) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + body + '\n');
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }
    std::shared_ptr<ApertiumEngine> engine(std::chrono::milliseconds timeout = 10s) {
        return std::make_shared<ApertiumEngine>(
            ApertiumEngine::Options{folder.path(), timeout, 50ms});
    }
    std::shared_ptr<TranslationSession> session(ApertiumEngine& engine, const QString& source,
                                                const QString& target) {
        auto made = engine.makeSession(source, target, false);
        EXPECT_TRUE(made) << made.error.toStdString();
        return made.value.value_or(nullptr);
    }
};

TEST_F(ApertiumFixtureTest, StatusesComeFromTheModesFolderAndTheCatalogue) {
    mode(u"eng-deu"_s, u"sed -u ''"_s);
    mode(u"spa-eng_US"_s, u"sed -u ''"_s);
    mode(u"nno-nob"_s, u"sed -u ''"_s);
    auto apertium = engine();
    for (const bool fast : {false, true}) {
        EXPECT_EQ(apertium->status(u"en"_s, u"de"_s, fast), EngineStatus::installed);
        EXPECT_EQ(apertium->status(u"en"_s, u"es"_s, fast), EngineStatus::supported);
        EXPECT_EQ(apertium->status(u"de"_s, u"en"_s, fast), EngineStatus::unsupported);
        EXPECT_EQ(apertium->status(u"nn"_s, u"nb"_s, fast), EngineStatus::unsupported);
        EXPECT_EQ(apertium->status(u"en"_s, u"is"_s, fast), EngineStatus::unsupported);
        EXPECT_EQ(apertium->status(u"is"_s, u"en"_s, fast), EngineStatus::supported);
    }
    EXPECT_TRUE(apertium->oneEngineForBothStrategies());
    const QStringList languages = apertium->supportedLanguages();
    for (const QString& identifier : {u"de"_s, u"en"_s, u"es"_s, u"ca"_s, u"nb"_s, u"is"_s})
        EXPECT_TRUE(languages.contains(identifier)) << identifier.toStdString();
    EXPECT_FALSE(languages.contains(u"zh"_s));

    // A mode installed while running is seen at the next question.
    EXPECT_EQ(apertium->status(u"en"_s, u"fr"_s, false), EngineStatus::unsupported);
    mode(u"eng-fra"_s, u"sed -u ''"_s);
    EXPECT_EQ(apertium->status(u"en"_s, u"fr"_s, false), EngineStatus::installed);

    Translator translator(apertium);
    EXPECT_EQ(translator.status(u"en"_s, u"es"_s, true).result(), PairStatus::downloadable);
    EXPECT_TRUE(translator.supportedLanguages().result().contains(u"nb"_s));
}

TEST_F(ApertiumFixtureTest, TextSurvivesTheStreamUnchanged) {
    mode(u"eng-deu"_s, u"sed -u ''"_s);
    auto apertium = engine();
    auto passThrough = session(*apertium, u"en"_s, u"de"_s);
    ASSERT_TRUE(passThrough);
    for (const QString& text : {tricky(), u"plain"_s, u"\n"_s, u"a\r\n\r\nb"_s, large()}) {
        const auto answer = passThrough->translate(text);
        ASSERT_TRUE(answer) << answer.error.toStdString();
        EXPECT_EQ(*answer.value, text);
    }
    const auto withNul = passThrough->translate(QString::fromUtf16(u"a\0b\0", 4));
    EXPECT_EQ(withNul.value, u"ab"_s);
}

TEST_F(ApertiumFixtureTest, MarksOfUnknownWordsAreDroppedButTheTextsOwnCharactersStay) {
    mode(u"eng-deu"_s, u"sed -u 's/Hello/*Hallo/;s/world/@Welt/;s/go/#gehen/'"_s);
    auto apertium = engine();
    auto marking = session(*apertium, u"en"_s, u"de"_s);
    ASSERT_TRUE(marking);
    EXPECT_EQ(marking->translate(u"Hello *world* go #1 @you"_s).value,
              u"Hallo *Welt* gehen #1 @you"_s);
}

TEST_F(ApertiumFixtureTest, BatchesKeepTheirOrderAndIdentifiers) {
    mode(u"eng-deu"_s, u"sed -u 's/one/eins/;s/two/zwei/'"_s);
    auto apertium = engine();
    auto numbers = session(*apertium, u"en"_s, u"de"_s);
    ASSERT_TRUE(numbers);
    QList<EngineRequest> requests;
    QList<EngineResponse> expected;
    for (int i = 0; i < 50; ++i) {
        requests << EngineRequest{u"one %1 two"_s.arg(i), u"id%1"_s.arg(i)};
        expected << EngineResponse{u"id%1"_s.arg(i), u"eins %1 zwei"_s.arg(i)};
    }
    const auto answers = numbers->translations(requests);
    ASSERT_TRUE(answers) << answers.error.toStdString();
    EXPECT_EQ(*answers.value, expected);

    Translator translator(apertium);
    EXPECT_EQ(
        translator.translate(QStringList{u"one"_s, u"two"_s, u" one\n"_s}, u"en"_s, u"de"_s, false)
            .result(),
        (QStringList{u"eins"_s, u"zwei"_s, u" eins\n"_s}));
}

TEST_F(ApertiumFixtureTest, AKilledPipelineIsReplacedOnTheNextCall) {
    mode(u"eng-deu"_s, u"sed -u 's/Hello/Hallo/'"_s);
    Translator translator(engine());
    EXPECT_EQ(translator.translate(u"Hello"_s, u"en"_s, u"de"_s, false).result(), u"Hallo"_s);

    const QList<pid_t> stages = test::childProcesses(::getpid());
    ASSERT_EQ(stages.size(), 1);
    ::kill(-::getpgid(stages.first()), SIGKILL);
    ASSERT_TRUE(allGone(stages));

    try {
        translator.translate(u"Hello"_s, u"en"_s, u"de"_s, false).result();
        ADD_FAILURE() << "a dead pipeline answered";
    } catch (const TranslateError& error) {
        EXPECT_EQ(error.kind(), TranslateError::Kind::failed);
        EXPECT_TRUE(error.message().contains(u"stopped"_s)) << error.what();
    }
    EXPECT_EQ(translator.translate(u"Hello"_s, u"en"_s, u"de"_s, false).result(), u"Hallo"_s);
    const QList<pid_t> fresh = test::childProcesses(::getpid());
    ASSERT_EQ(fresh.size(), 1);
    EXPECT_NE(fresh.first(), stages.first());
}

TEST_F(ApertiumFixtureTest, AHangingPipelineTimesOutAndLeavesNoProcessBehind) {
    const QString hang = script(u"hang"_s, "exec sleep 600");
    mode(u"eng-deu"_s, u"sed -u '' | '"_s + hang + u"' | sed -u ''"_s);
    // However long the text, the wait has its bound.
    Translator translator(
        std::make_shared<ApertiumEngine>(ApertiumEngine::Options{folder.path(), 1s, 10s, 2s}));
    QElapsedTimer timer;
    timer.start();
    auto future = translator.translate(u"Hello "_s.repeated(1000), u"en"_s, u"de"_s, false);
    // The stages stay until the request's time is up. On a busy machine they may start, or a
    // look through /proc find them, only late within it: what was seen must be gone, and so
    // must every child, seen or not.
    QList<pid_t> stages;
    while (stages.size() < 3 && !future.isFinished()) {
        for (pid_t pid : test::childProcesses(::getpid()))
            if (!stages.contains(pid))
                stages << pid;
    }
    try {
        future.result();
        ADD_FAILURE() << "a hanging pipeline answered";
    } catch (const TranslateError& error) {
        EXPECT_TRUE(error.message().contains(u"in time"_s)) << error.what();
    }
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(allGone(stages, 0ms));
    EXPECT_TRUE(test::childProcesses(::getpid()).isEmpty());
}

// As at quit: the stages of a hanging pair busy with one call, dozens of calls waiting behind
// it and on another pair. Stopping ends every one of them at once and kills every stage; later
// calls fail without reaching a thread.
TEST_F(ApertiumFixtureTest, StoppingEndsTheWorkUnderWayAndWaitingAndLeavesNoProcess) {
    const QString hang = script(u"hang"_s, "exec sleep 600");
    mode(u"eng-deu"_s, u"sed -u '' | '"_s + hang + u"' | sed -u ''"_s);
    mode(u"eng-fra"_s, u"sed -u ''"_s);
    Translator translator(engine(60s));
    QList<QFuture<QString>> hanging;
    QList<QFuture<QString>> others;
    for (int i = 0; i < 40; ++i) {
        hanging << translator.translate(u"Hello %1"_s.arg(i), u"en"_s, u"de"_s, false);
        others << translator.translate(u"Hello %1"_s.arg(i), u"en"_s, u"fr"_s, false);
    }
    const QFuture<QStringList> batch =
        translator.translate(QStringList{u"a"_s, u"b"_s}, u"en"_s, u"de"_s, false);
    ASSERT_TRUE(test::waitUntil([] { return test::childProcesses(::getpid()).size() >= 3; }));

    EXPECT_TRUE(translator.stop(QDeadlineTimer(5000)));
    const auto failsStopped = [](const auto& future) {
        try {
            future.result();
            return false;
        } catch (const TranslateError& error) {
            return error.message().contains(u"stopped"_s);
        }
    };
    for (const auto& future : hanging)
        EXPECT_TRUE(future.isFinished() && failsStopped(future));
    EXPECT_TRUE(batch.isFinished() && failsStopped(batch));
    for (const auto& future : others) {
        ASSERT_TRUE(future.isFinished());
        // Answered before the stop, or stopped.
        EXPECT_TRUE(future.resultCount() > 0 || failsStopped(future));
    }
    EXPECT_TRUE(test::childProcesses(::getpid()).isEmpty());

    const QFuture<QString> later = translator.translate(u"Hello"_s, u"en"_s, u"fr"_s, false);
    EXPECT_TRUE(later.isFinished() && failsStopped(later));
    EXPECT_EQ(translator.status(u"en"_s, u"fr"_s, false).result(), PairStatus::unsupported);
    EXPECT_TRUE(translator.stop(QDeadlineTimer(0)));
}

// Loading the dictionaries does not count against the request: a first request whose stage
// takes longer than the bound to start still gets its answer.
TEST_F(ApertiumFixtureTest, ASlowStartIsNoTimeout) {
    const QString slow = script(u"slow"_s, "sleep 2; exec cat");
    mode(u"eng-deu"_s, u"'"_s + slow + u"'"_s);
    ApertiumEngine apertium(ApertiumEngine::Options{folder.path(), 1s, 50ms, 120s, 10s});
    auto slowStart = session(apertium, u"en"_s, u"de"_s);
    ASSERT_TRUE(slowStart);
    for (int i = 0; i < 2; ++i) {
        const auto answer = slowStart->translate(u"Hello"_s);
        EXPECT_EQ(answer.value, u"Hello"_s) << answer.error.toStdString();
    }
}

TEST_F(ApertiumFixtureTest, StagesThatEndOrCannotStartAreFailuresNotAnswers) {
    auto apertium = engine();
    // Ends at once with nothing written, status 0.
    mode(u"eng-deu"_s, u"true"_s);
    // Writes a little, then ends without the record's end.
    mode(u"eng-fra"_s, u"head -c 3"_s);
    for (const QString& target : {u"de"_s, u"fr"_s}) {
        auto ending = session(*apertium, u"en"_s, target);
        ASSERT_TRUE(ending);
        const auto answer = ending->translate(u"Hello"_s);
        EXPECT_FALSE(answer) << target.toStdString();
        EXPECT_FALSE(answer.error.isEmpty());
        EXPECT_FALSE(ending->translate(u"Hello"_s));
    }

    // A stage that dies leaves its neighbours to end the record: the death is what is told.
    const QString broken = script(u"broken"_s, "echo stage broke >&2; exit 1");
    const QString flushing = script(u"flushing"_s, "cat; printf '\\000'");
    mode(u"eng-nld"_s, u"sed -u '' | '"_s + broken + u"' | '"_s + flushing + u"'"_s);
    auto dying = session(*apertium, u"en"_s, u"nl"_s);
    ASSERT_TRUE(dying);
    const auto died = dying->translate(u"Hello"_s);
    EXPECT_TRUE(died.error.contains(u"stopped: stage broke"_s)) << died.error.toStdString();

    mode(u"eng-ita"_s, u"no-such-stage-program -x"_s);
    const auto missing = apertium->makeSession(u"en"_s, u"it"_s, false);
    EXPECT_FALSE(missing);
    EXPECT_TRUE(missing.error.contains(u"no-such-stage-program"_s)) << missing.error.toStdString();

    mode(u"eng-por"_s, u"sed -u '' > out.txt"_s);
    EXPECT_FALSE(apertium->makeSession(u"en"_s, u"pt"_s, false));
    EXPECT_FALSE(apertium->makeSession(u"en"_s, u"ja"_s, false));
    EXPECT_TRUE(test::childProcesses(::getpid()).isEmpty());
}

TEST_F(ApertiumFixtureTest, StagesEndWithTheirSession) {
    mode(u"eng-deu"_s, u"sed -u '' | sed -u 's/a/b/' | sed -u ''"_s);
    auto apertium = engine();
    auto warm = session(*apertium, u"en"_s, u"de"_s);
    ASSERT_TRUE(warm);
    EXPECT_EQ(warm->translate(u"a"_s).value, u"b"_s);
    const QList<pid_t> stages = test::childProcesses(::getpid());
    EXPECT_EQ(stages.size(), 3);
    warm.reset();
    EXPECT_TRUE(allGone(stages, 0ms));
}

TIVELA_TEST_HELPER(warmSessionThenVanish) {
    ApertiumEngine engine(ApertiumEngine::Options{args.value(0), 10s, 50ms});
    auto made = engine.makeSession(u"en"_s, u"de"_s, false);
    if (!made || !(*made.value)->translate(u"a"_s))
        return 2;
    QTextStream out(stdout);
    for (const pid_t pid : test::childProcesses(::getpid()))
        out << pid << '\n';
    out.flush();
    // No destructors: the program is gone as if killed.
    ::_exit(0);
}

TEST_F(ApertiumFixtureTest, StagesEndWhenTheProgramVanishes) {
    mode(u"eng-deu"_s, u"sed -u '' | sed -u ''"_s);
    const auto result = test::runHelper(u"warmSessionThenVanish"_s, {folder.path()});
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QList<pid_t> stages;
    for (const QByteArray& line : result.out.split('\n'))
        if (!line.isEmpty())
            stages << line.toInt();
    EXPECT_EQ(stages.size(), 2);
    EXPECT_TRUE(allGone(stages));
}

// The English-Spanish pair that the project's install script puts on every machine.
class ApertiumRealPairTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(engine->status(u"en"_s, u"es"_s, false), EngineStatus::installed)
            << "apertium-eng-spa is not installed in " << engine->modesFolder().toStdString();
    }
    std::shared_ptr<ApertiumEngine> engine =
        std::make_shared<ApertiumEngine>(ApertiumEngine::Options{u"/usr/share/apertium/modes"_s});
};

TEST_F(ApertiumRealPairTest, EnglishComesBackInSpanish) {
    Translator translator(engine);
    const QString spanish =
        translator.translate(u"Good morning! How are you today?"_s, u"en"_s, u"es"_s, false)
            .result();
    EXPECT_TRUE(spanish.contains(u"Buenos días"_s)) << spanish.toStdString();
    EXPECT_TRUE(spanish.contains(u"hoy"_s)) << spanish.toStdString();
    EXPECT_TRUE(spanish.endsWith(u'?')) << spanish.toStdString();
    for (const QChar mark : {u'*', u'@', u'#', u'[', u'\\', u'^', u'$'})
        EXPECT_FALSE(spanish.contains(mark)) << spanish.toStdString();

    // The pronouns Spanish leaves out leave no double space behind.
    const QString dropped =
        translator
            .translate(u"Where can we eat? I think that they will come."_s, u"en"_s, u"es"_s, false)
            .result();
    EXPECT_FALSE(dropped.contains(u"  "_s)) << dropped.toStdString();
    // A text that spaces its words itself keeps its spacing.
    EXPECT_TRUE(translator.translate(u"They  said  it."_s, u"en"_s, u"es"_s, false)
                    .result()
                    .contains(u"  "_s));

    const QString back =
        translator.translate(u"El perro come una manzana."_s, u"es"_s, u"en"_s, true).result();
    EXPECT_TRUE(back.contains(u"dog"_s)) << back.toStdString();
    EXPECT_EQ(translator.status(u"es"_s, u"en"_s, true).result(), PairStatus::installed);
    EXPECT_EQ(translator.status(u"en"_s, u"de"_s, false).result(), PairStatus::unsupported);
}

// Apertium capitalises a single word as if it began a sentence.
TEST_F(ApertiumRealPairTest, WordsTypedInSmallLettersComeBackInSmallLetters) {
    Translator translator(engine);
    const auto translate = [&](const QString& text, const QString& from, const QString& to) {
        return translator.translate(text, from, to, false).result();
    };
    EXPECT_EQ(translate(u"house"_s, u"en"_s, u"es"_s), u"casa"_s);
    EXPECT_EQ(translate(u"House"_s, u"en"_s, u"es"_s), u"Casa"_s);
    EXPECT_EQ(translate(u"hermano"_s, u"es"_s, u"en"_s), u"brother"_s);
    EXPECT_EQ(translate(u"big house"_s, u"en"_s, u"es"_s), u"casa grande"_s);
    EXPECT_EQ(translate(u"the cat is black."_s, u"en"_s, u"es"_s), u"El gato es negro."_s);
    EXPECT_EQ(translator.translate(QStringList{u"house"_s, u"The house"_s}, u"en"_s, u"es"_s, false)
                  .result(),
              (QStringList{u"casa"_s, u"La casa"_s}));
}

TEST_F(ApertiumRealPairTest, UnknownWordsAndSpecialCharactersComeThrough) {
    Translator translator(engine);
    const QString spanish =
        translator
            .translate(u"  The xyzzyq costs 5 * 3 # @home ~ [a] {b} \\c/ 😀\n\nThe cat. "_s, u"en"_s,
                       u"es"_s, false)
            .result();
    for (const QString& kept : {u"xyzzyq"_s, u" 5 * 3 # @"_s, u" ~ ["_s, u"] {b} \\c/ 😀\n\n"_s})
        EXPECT_TRUE(spanish.contains(kept)) << spanish.toStdString();
    EXPECT_TRUE(spanish.startsWith(u"  "_s)) << spanish.toStdString();
    EXPECT_TRUE(spanish.endsWith(u". "_s)) << spanish.toStdString();
}

TEST_F(ApertiumRealPairTest, BatchKeepsMarkupAndOrder) {
    Translator translator(engine);
    const QStringList spanish =
        translator
            .translate(QStringList{u"<a1>Good morning</a1>, my friend."_s,
                                   u"The <a1>red</a1> car is <a2>fast</a2>."_s,
                                   u"I like <a1>cats</a1>."_s},
                       u"en"_s, u"es"_s, false)
            .result();
    ASSERT_EQ(spanish.size(), 3);
    EXPECT_TRUE(spanish[0].contains(u"<a1>Buenos días</a1>"_s)) << spanish[0].toStdString();
    EXPECT_TRUE(spanish[1].contains(u"coche"_s)) << spanish[1].toStdString();
    EXPECT_TRUE(spanish[2].contains(u"gatos"_s)) << spanish[2].toStdString();
    for (const QString& text : spanish) {
        EXPECT_LT(text.indexOf(u"<a1>"_s), text.indexOf(u"</a1>"_s)) << text.toStdString();
        EXPECT_GE(text.indexOf(u"<a1>"_s), 0) << text.toStdString();
    }
    EXPECT_GE(spanish[1].indexOf(u"<a2>"_s), 0) << spanish[1].toStdString();
    EXPECT_LT(spanish[1].indexOf(u"<a2>"_s), spanish[1].indexOf(u"</a2>"_s));
}

// A session forwarded from another machine names a locale this one never generated.
TEST_F(ApertiumRealPairTest, AnUngeneratedLocaleChangesNothing) {
    const QByteArray language = qgetenv("LANG");
    const QByteArray all = qgetenv("LC_ALL");
    qputenv("LANG", "xx_YY.UTF-8");
    qputenv("LC_ALL", "xx_YY.UTF-8");
    auto made = engine->makeSession(u"en"_s, u"es"_s, false);
    qputenv("LANG", language);
    qputenv("LC_ALL", all);
    ASSERT_TRUE(made) << made.error.toStdString();
    const auto spanish = (*made.value)->translate(u"The dog eats an apple."_s);
    ASSERT_TRUE(spanish) << spanish.error.toStdString();
    EXPECT_TRUE(spanish.value->contains(u"perro"_s)) << spanish.value->toStdString();
}

struct RealCase {
    QString text;
    QString from;
    QString expected;
};

void PrintTo(const RealCase& c, std::ostream* out) {
    *out << c.from.toStdString() << ": \"" << c.text.toStdString() << '"';
}

class ApertiumRealPairTableTest : public ApertiumRealPairTest,
                                  public ::testing::WithParamInterface<RealCase> {};

// What comes back carries the text's own white space and nothing more, alone or in a batch.
// Links, addresses, paths and code come through untouched and in place, in a sentence or alone.
TEST_P(ApertiumRealPairTableTest, TranslatesTheWordsAndKeepsTheRestAsItStands) {
    const RealCase& c = GetParam();
    const QString to = c.from == u"en" ? u"es"_s : u"en"_s;
    Translator translator(engine);
    EXPECT_EQ(translator.translate(c.text, c.from, to, false).result(), c.expected);
    EXPECT_EQ(translator.translate(QStringList{c.text}, c.from, to, false).result(),
              QStringList{c.expected});
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ApertiumRealPairTableTest,
    ::testing::Values(
        // Spanish drops the pronoun, whose space stayed before the next word.
        RealCase{u"I am hungry"_s, u"en"_s, u"Tengo hambre"_s},
        RealCase{u"I love pizza and coffee"_s, u"en"_s, u"Quiero pizza y café"_s},
        RealCase{u"  I am hungry. I am tired.\n\nShe walks home\n"_s, u"en"_s,
                 u"  Tengo hambre. Estoy cansado.\n\nAnda casa\n"_s},
        RealCase{u"I see the dog   \nand the cat\t\n\n  She walks"_s, u"en"_s,
                 u"Veo el perro   \ny el gato\t\n\n  Anda"_s},
        RealCase{u"The file is /home/user/documents/report.txt"_s, u"en"_s,
                 u"La lima es /home/user/documents/report.txt"_s},
        RealCase{u"See https://example.com/path?q=hello+world now"_s, u"en"_s,
                 u"Ve https://example.com/path?q=hello+world ahora"_s},
        RealCase{u"Set max_retries in config.yaml, then run --dry-run."_s, u"en"_s,
                 u"Puesto max_retries en config.yaml, entonces corrido --dry-run."_s},
        RealCase{u"Write to ana@example.org or see ~/notes and C:\\Users\\Ana today"_s, u"en"_s,
                 u"Escribe a ana@example.org o ver ~/notes y C:\\Users\\Ana hoy"_s},
        RealCase{u"We use camelCase and getUserName here (see ./run.sh)."_s, u"en"_s,
                 u"Utilizamos camelCase y getUserName aquí (ve ./run.sh)."_s},
        RealCase{u"Estoy en /home/ana/informe.txt y veo https://ejemplo.es/a?q=hola+mundo"_s,
                 u"es"_s,
                 u"I am in /home/ana/informe.txt and I see https://ejemplo.es/a?q=hola+mundo"_s},
        RealCase{u"Abre config.yaml con --force, el perro_grande y miVariable."_s, u"es"_s,
                 u"It opens config.yaml with --force, the perro_grande and miVariable."_s},
        RealCase{u"https://example.com/path?q=hello+world"_s, u"en"_s,
                 u"https://example.com/path?q=hello+world"_s},
        RealCase{u"C:\\Users\\[Ana]\\x"_s, u"es"_s, u"C:\\Users\\[Ana]\\x"_s},
        // Longer than any word: no word in it is looked at.
        RealCase{u"The house "_s + u"house/"_s.repeated(40) + u" is big"_s, u"en"_s,
                 u"La casa "_s + u"house/"_s.repeated(40) + u" es grande"_s}));

// Paragraphs, lists and trailing spaces come back as Apertium's own text format gives them.
// (Where that format leaves the space of a dropped word behind, the test above has the text.)
TEST_F(ApertiumRealPairTest, TextsKeepTheirParagraphsAsApertiumsTextFormatDoes) {
    Translator translator(engine);
    const QStringList texts{
        u"dog\n\ncat"_s,
        u"The dog sleeps.\n\nThe cat eats.\n"_s,
        u"\n\nThe red house\n\n\n\nThe white dog\n\n"_s,
        u"Shopping:\n- one dog\n- two cats\n\n* three birds"_s,
        u"1. The house\n2. The car\r\n\r\n3. The tree"_s,
        u"The dog.  \n\nThe cat. "_s,
    };
    for (const QString& text : texts) {
        QProcess apertium;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        apertium.setProcessEnvironment(environment);
        apertium.start(u"apertium"_s, {u"-u"_s, u"-f"_s, u"txt"_s, u"eng-spa"_s});
        apertium.write(text.toUtf8());
        apertium.closeWriteChannel();
        ASSERT_TRUE(apertium.waitForFinished(30000));
        const QString expected = QString::fromUtf8(apertium.readAllStandardOutput());
        EXPECT_EQ(translator.translate(text, u"en"_s, u"es"_s, false).result(), expected)
            << text.toStdString();
    }
}

} // namespace
