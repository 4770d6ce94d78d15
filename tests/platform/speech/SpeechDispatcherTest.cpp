#include "platform/speech/SpeechDispatcher.h"
#include "core/Speaker.h"
#include "platform/speech/SynthesizerVoices.h"
#include "platform/speech/SystemSpeech.h"
#include "support/FakeSpeech.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QThread>

#include <csignal>
#include <thread>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(SpeechDispatcherTest, MessageBodyCannotEndEarly) {
    EXPECT_EQ(SpeechDispatcher::body(u"Hello"_s), "Hello");
    EXPECT_EQ(SpeechDispatcher::body(u"."_s), "..");
    EXPECT_EQ(SpeechDispatcher::body(u"a\n.\nb"_s), "a\r\n..\r\nb");
    EXPECT_EQ(SpeechDispatcher::body(u"a\r\n.b\r.c"_s), "a\r\n..b\r\n..c");
    EXPECT_EQ(SpeechDispatcher::body(u"x. y"_s), "x. y");
    EXPECT_EQ(SpeechDispatcher::body(QString(u"a"_s + QChar(0) + u"b€"_s)), "ab\xE2\x82\xAC");
}

namespace {

// Ends the daemon a test started in its own runtime folder. Without a sound device a daemon
// that was given speech can hang for good, past its idle timeout and deaf to SIGTERM.
void endStartedDaemon() {
    QFile pidFile(qEnvironmentVariable("XDG_RUNTIME_DIR") +
                  u"/speech-dispatcher/pid/speech-dispatcher.pid"_s);
    if (!pidFile.open(QIODevice::ReadOnly))
        return;
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toInt());
    if (pid <= 1)
        return;
    ::kill(pid, SIGTERM);
    QElapsedTimer clock;
    clock.start();
    while (::kill(pid, 0) == 0 && clock.elapsed() < 500)
        QThread::msleep(20);
    ::kill(pid, SIGKILL);
}

} // namespace

// Runs only where a speech-dispatcher daemon answers (or can be started) in the test's own
// runtime folder, which the test world makes fresh, so the daemon is the test's to end.
TEST(SpeechDispatcherTest, RealDaemonListsAndTakesSpeech) {
    qunsetenv("SPEECHD_ADDRESS");
    // Started from a plain thread, as the speech worker starts it.
    bool answered = false;
    std::thread([&] { answered = SpeechDispatcher({}, true).connect(); }).join();
    if (!answered)
        GTEST_SKIP() << "no speech-dispatcher daemon answers";
    const auto cleanup = qScopeGuard(endStartedDaemon);

    // The speaker on the system's speech finds English once its list arrives.
    {
        Speaker speaker(std::make_unique<SystemSpeech>());
        ASSERT_TRUE(test::spinUntil([&] { return speaker.ready().isFinished(); }, 30000));
        EXPECT_TRUE(speaker.languages().contains(u"en"_s));
        EXPECT_TRUE(speaker.voice(u"en"_s));
    }

    SpeechDispatcher daemon({}, false);
    QElapsedTimer clock;
    clock.start();
    const auto voices = daemon.voices();
    RecordProperty("listMs", int(clock.elapsed()));
    ASSERT_TRUE(voices);
    ASSERT_FALSE(voices->isEmpty()) << "the daemon has no module that lists voices";
    RecordProperty("voices", int(voices->size()));
    const auto english = Voices::pick(*voices, u"en"_s, std::nullopt);
    ASSERT_TRUE(english) << "no English voice";
    const auto module = SynthesizerVoices::split(english->identifier)->first;
    EXPECT_TRUE(daemon.speak(u"Hello."_s, module, english->name));
    EXPECT_TRUE(daemon.cancel());
}
