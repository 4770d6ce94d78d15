#include "platform/speech/SpeechDispatcher.h"
#include "core/Speaker.h"
#include "platform/speech/SystemSpeech.h"
#include "support/FakeSpeech.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

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

// Runs only where a speech-dispatcher daemon answers (or can be started) in the test's own
// runtime folder. Without a sound device the daemon takes the text but may never say it.
TEST(SpeechDispatcherTest, RealDaemonListsAndTakesSpeech) {
    qunsetenv("SPEECHD_ADDRESS");
    SpeechDispatcher daemon({}, true);
    QElapsedTimer clock;
    clock.start();
    if (!daemon.connect())
        GTEST_SKIP() << "no speech-dispatcher daemon answers";
    const qint64 connected = clock.restart();
    const auto voices = daemon.voices();
    const qint64 listed = clock.elapsed();
    ASSERT_TRUE(voices);
    ASSERT_FALSE(voices->isEmpty()) << "the daemon has no module that lists voices";
    RecordProperty("connectMs", int(connected));
    RecordProperty("listMs", int(listed));
    RecordProperty("voices", int(voices->size()));

    const auto english = Voices::pick(*voices, u"en"_s, std::nullopt);
    ASSERT_TRUE(english) << "no English voice";
    const auto module = SpeechBackend::split(english->identifier)->first;
    EXPECT_TRUE(daemon.speak(u"Hello."_s, module, english->name));
    EXPECT_TRUE(daemon.cancel());
    daemon.close();

    // The speaker on the system's speech knows the same languages once its list arrives.
    Speaker speaker(std::make_unique<SystemSpeech>());
    ASSERT_TRUE(test::spinUntil([&] { return speaker.ready().isFinished(); }, 30000));
    EXPECT_TRUE(speaker.languages().contains(u"en"_s));
    EXPECT_TRUE(speaker.voice(u"en"_s));
}
