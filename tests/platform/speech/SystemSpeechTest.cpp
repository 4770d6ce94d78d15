#include "platform/speech/SystemSpeech.h"
#include "core/Speaker.h"
#include "support/FakeSpeech.h"
#include "support/FakeSpeechDaemon.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>

using namespace tivela;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::spinUntil;

using test::FakeDaemon;

namespace {

// Counts what the engine in the process synthesises instead of playing it.
struct Samples {
    SystemSpeech::Options options(std::chrono::milliseconds reply = 3000ms) {
        SystemSpeech::Options result;
        result.limits.reply = reply;
        result.autospawn = false;
        result.fallbackSink = [this](const qint16*, int n) { count += n; };
        return result;
    }
    std::atomic<qint64> count{0};
};

std::optional<QList<Voices::Voice>> await(QFuture<QList<Voices::Voice>> future,
                                          int timeoutMs = 10000) {
    if (!spinUntil([&] { return future.isFinished(); }, timeoutMs))
        return std::nullopt;
    return future.result();
}

bool hasVoice(const QList<Voices::Voice>& voices, const QString& identifier) {
    return std::any_of(voices.begin(), voices.end(),
                       [&](const Voices::Voice& v) { return v.identifier == identifier; });
}

} // namespace

TEST(SystemSpeechTest, ListsTheVoicesOfEveryModuleTheDaemonHas) {
    FakeDaemon daemon;
    Samples samples;
    SystemSpeech speech(samples.options());
    const auto voices = await(speech.voices());
    ASSERT_TRUE(voices);
    const QList<Voices::Voice> expected{
        {u"espeak-ng/English (America)"_s, u"English (America)"_s, u"en-US"_s, 1, false},
        {u"espeak-ng/English (America)+whisper"_s, u"English (America)+whisper"_s, u"en-US"_s, 1,
         true},
        {u"espeak-ng/Chinese (Cantonese)"_s, u"Chinese (Cantonese)"_s, u"zh-TW"_s, 1, false},
        {u"rhvoice/Anna Petrovna"_s, u"Anna Petrovna"_s, u"ru-RU"_s, 2, false}};
    EXPECT_EQ(*voices, expected);
    // The module that cannot report its voices was asked and skipped.
    EXPECT_TRUE(daemon.log.contains("SET SELF OUTPUT_MODULE crashed"));
}

TEST(SystemSpeechTest, SpeechGoesInOrderAndAStopDropsWhatHasNotStarted) {
    FakeDaemon daemon;
    daemon.holdLists = true;
    Samples samples;
    SystemSpeech speech(samples.options());
    const Voices::Voice english{u"espeak-ng/English (America)"_s, u"English (America)"_s,
                                u"en-US"_s, 1, false};
    // The worker is busy listing voices while these queue up behind it.
    auto listed = speech.voices();
    ASSERT_TRUE(spinUntil([&] { return daemon.log.contains("LIST SYNTHESIS_VOICES"); }));
    speech.speak(u"never heard"_s, english);
    speech.stop();
    speech.stop();
    speech.speak(u"line one\n.hidden\r\nthree"_s, english);
    daemon.release();
    ASSERT_TRUE(await(listed));
    ASSERT_TRUE(spinUntil([&] { return daemon.log.last().startsWith("DATA "); }));

    const qsizetype first = daemon.log.indexOf("CANCEL SELF");
    ASSERT_GE(first, 0);
    EXPECT_EQ(daemon.log.mid(first),
              (QByteArrayList{"CANCEL SELF", "SET SELF OUTPUT_MODULE espeak-ng",
                              "SET SELF SYNTHESIS_VOICE English (America)", "SPEAK",
                              "DATA line one\r\n..hidden\r\nthree"}));
    EXPECT_EQ(samples.count, 0); // the daemon spoke, not the engine in the process
}

TEST(SystemSpeechTest, StalledDaemonNeverBlocksTheCaller) {
    FakeDaemon daemon(FakeDaemon::Mode::stall);
    Samples samples;
    QElapsedTimer clock;
    qint64 longest = 0;
    const auto timed = [&](auto&& call) {
        clock.start();
        call();
        longest = std::max(longest, clock.nsecsElapsed());
    };

    std::unique_ptr<Speaker> speaker;
    timed([&] {
        speaker = std::make_unique<Speaker>(std::make_unique<SystemSpeech>(samples.options(400ms)));
    });
    timed([&] { speaker->languages(); });
    timed([&] { speaker->speak(u"Hello"_s, u"en"_s, {}); });
    timed([&] { speaker->stop(); });
    timed([&] { speaker->systemVoices(); });
    // Waiting on the daemon would take its 400 ms; the bound leaves room for a loaded machine.
    EXPECT_LT(longest, 100'000'000) << "a call waited " << longest / 1000 << " µs";
    RecordProperty("longestCallUs", int(longest / 1000));
    EXPECT_TRUE(speaker->systemVoices().isEmpty());

    // Once the daemon's greeting times out, the engine in the process takes over for real.
    ASSERT_TRUE(spinUntil([&] { return speaker->ready().isFinished(); }, 10000));
    EXPECT_TRUE(speaker->languages().contains(u"en"_s));
    EXPECT_TRUE(speaker->speak(u"Hello there."_s, u"en"_s, {}));
    EXPECT_TRUE(spinUntil([&] { return samples.count > 0; }));

    // Going away while the worker waits on the daemon does not wait for the daemon either.
    auto waiting = std::make_unique<SystemSpeech>(samples.options(30s));
    const qsizetype greeted = daemon.log.size();
    waiting->voices();
    ASSERT_TRUE(spinUntil([&] { return daemon.log.size() > greeted; }));
    clock.start();
    waiting.reset();
    RecordProperty("shutdownMs", int(clock.elapsed()));
    EXPECT_LT(clock.elapsed(), 500);
}

TEST(SystemSpeechTest, BabbleDropsTheConnectionNotTheProcess) {
    FakeDaemon daemon(FakeDaemon::Mode::babble);
    Samples samples;
    SystemSpeech speech(samples.options());
    const auto voices = await(speech.voices());
    ASSERT_TRUE(voices);
    EXPECT_TRUE(hasVoice(*voices, u"espeak-ng/English (America)"_s));
    EXPECT_FALSE(hasVoice(*voices, u"rhvoice/Anna Petrovna"_s));
}

TEST(SystemSpeechTest, WithoutADaemonTheEngineInTheProcessSpeaks) {
    QTemporaryDir empty;
    qputenv("SPEECHD_ADDRESS", "unix_socket:" + empty.filePath(u"none.sock"_s).toLocal8Bit());
    Samples samples;
    {
        SystemSpeech speech(samples.options());
        const auto voices = await(speech.voices());
        ASSERT_TRUE(voices);
        ASSERT_TRUE(hasVoice(*voices, u"espeak-ng/English (America)"_s));
        speech.speak(u"Hello there."_s, voices->value(0));
        speech.stop();
        speech.speak(u"Hello there, again."_s,
                     {u"espeak-ng/English (America)"_s, u"English (America)"_s, u"en-US"_s, 1});
        // A voice only a daemon has is not spoken by the engine.
        speech.speak(u"Hello"_s, {u"rhvoice/Anna"_s, u"Anna"_s, u"ru"_s, 2});
        speech.voices().waitForFinished();
    }
    qunsetenv("SPEECHD_ADDRESS");
    EXPECT_GT(samples.count, 22050 / 2);
}

// As at quit: a voice list of hundreds of thousands of lines on its way, or a burst of speech
// queued behind a daemon busy with the first. Shutting down ends either at once, silences the
// daemon, and every later call is dropped.
TEST(SystemSpeechTest, ShuttingDownEndsAListingOrABurstOfSpeechAtOnce) {
    FakeDaemon daemon;
    daemon.listManyVoices("piper", 300000, "en-US");
    Samples samples;
    const Voices::Voice english{u"espeak-ng/English (America)"_s, u"English (America)"_s,
                                u"en-US"_s, 1, false};

    SystemSpeech listing(samples.options(30s));
    const auto listed = listing.voices();
    // Reading the whole first list takes seconds here, and minutes on a loaded machine.
    ASSERT_TRUE(
        spinUntil([&] { return daemon.log.contains("SET SELF OUTPUT_MODULE rhvoice"); }, 150000))
        << "the listing never reached the module the daemon holds";
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(listing.shutDown(QDeadlineTimer(5000)));
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(listed.isFinished());
    EXPECT_TRUE(listed.result().isEmpty());
    const auto later = listing.voices();
    EXPECT_TRUE(later.isFinished() && later.result().isEmpty());

    SystemSpeech speaking(samples.options(30s));
    for (int i = 0; i < 200; ++i)
        speaking.speak(u"Sentence %1."_s.arg(i), english);
    ASSERT_TRUE(spinUntil([&] { return daemon.log.count("SPEAK") >= 3; }));
    clock.start();
    EXPECT_TRUE(speaking.shutDown(QDeadlineTimer(5000)));
    EXPECT_LT(clock.elapsed(), 1000);
    speaking.speak(u"Never heard."_s, english);
    // What was on its way when the worker ended arrives, and nothing after it.
    const qsizetype atEnd = daemon.log.size();
    spinUntil([] { return false; }, 300);
    EXPECT_LE(daemon.log.size(), atEnd + 3);
    const auto spoken =
        std::count_if(daemon.log.cbegin(), daemon.log.cend(),
                      [](const QByteArray& line) { return line.startsWith("DATA "); });
    // How many went before the end depends on how busy the machine is; not the whole burst.
    EXPECT_LT(spoken, 200);
    EXPECT_FALSE(daemon.log.contains("DATA Never heard."));
    EXPECT_EQ(samples.count, 0);
}
