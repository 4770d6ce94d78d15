#include "platform/speech/SystemSpeech.h"
#include "core/Speaker.h"
#include "support/FakeSpeech.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMap>
#include <QPointer>
#include <QTemporaryDir>

#include <atomic>

using namespace tivela;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::spinUntil;

namespace {

// A speech-dispatcher stand-in on a socket of the test's own, served by the test's event
// loop. It speaks enough of the protocol for the client, or, as told, stalls or babbles.
class FakeDaemon : public QObject {
public:
    enum class Mode { answer, stall, babble };

    explicit FakeDaemon(Mode mode = Mode::answer)
        : m_mode(mode) {
        const QString path = m_dir.filePath(u"speechd.sock"_s);
        EXPECT_TRUE(m_server.listen(path));
        qputenv("SPEECHD_ADDRESS", "unix_socket:" + path.toLocal8Bit());
        QObject::connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = m_server.nextPendingConnection()) {
                client->setParent(this);
                QObject::connect(client, &QLocalSocket::readyRead, this,
                                 [this, client] { serve(client); });
            }
        });
    }

    ~FakeDaemon() override { qunsetenv("SPEECHD_ADDRESS"); }

    // Sends the voice lists held back while holdLists was set.
    void release() {
        holdLists = false;
        for (const auto& [client, reply] : std::as_const(m_held))
            if (client)
                client->write(reply);
        m_held.clear();
    }

    // Voice lines ("name TAB language TAB variant") by module; a module without an entry
    // cannot report its voices.
    QMap<QByteArray, QByteArrayList> modules{
        {"espeak-ng",
         {"English (America)\ten-US\tnone", "English (America)+whisper\ten-US\twhisper",
          "Chinese (Cantonese)\tyue\tnone"}},
        {"rhvoice", {"Anna Petrovna\tru-RU\tfemale"}},
        {"crashed", {}}};
    bool holdLists = false;
    // Every command line received, and "DATA " with the body of each message.
    QByteArrayList log;

private:
    void serve(QLocalSocket* client) {
        QByteArray& buffer = m_buffers[client];
        buffer += client->readAll();
        qsizetype end;
        while ((end = buffer.indexOf("\r\n")) >= 0) {
            const QByteArray line = buffer.left(end);
            buffer.remove(0, end + 2);
            if (m_mode == Mode::stall) {
                log << line;
                continue;
            }
            if (m_mode == Mode::babble) {
                client->write("Hello there\r\n");
                continue;
            }
            client->write(answer(client, line));
        }
    }

    QByteArray answer(QLocalSocket* client, const QByteArray& line) {
        QByteArrayList& body = m_bodies[client];
        if (m_receiving.contains(client)) {
            if (line != ".") {
                body << line;
                return {};
            }
            m_receiving.remove(client);
            log << "DATA " + body.join("\r\n");
            body.clear();
            return "225-7\r\n225 OK MESSAGE QUEUED\r\n";
        }
        log << line;
        if (line.startsWith("SET SELF CLIENT_NAME "))
            return "208 OK CLIENT NAME SET\r\n";
        if (line == "LIST OUTPUT_MODULES") {
            QByteArray reply;
            for (const QByteArray& module : modules.keys())
                reply += "250-" + module + "\r\n";
            return reply + "250 OK MODULE LIST SENT\r\n";
        }
        if (line.startsWith("SET SELF OUTPUT_MODULE ")) {
            m_module[client] = line.mid(23);
            return "216 OK OUTPUT MODULE SET\r\n";
        }
        if (line == "LIST SYNTHESIS_VOICES") {
            const QByteArrayList voices = modules.value(m_module[client]);
            if (voices.isEmpty())
                return "321 ERR MODULE CANT REPORT VOICES\r\n";
            QByteArray reply;
            for (const QByteArray& voice : voices)
                reply += "249-" + voice + "\r\n";
            reply += "249 OK VOICE LIST SENT\r\n";
            if (!holdLists)
                return reply;
            m_held.append({QPointer<QLocalSocket>(client), reply});
            return {};
        }
        if (line.startsWith("SET SELF SYNTHESIS_VOICE "))
            return "209 OK VOICE SET\r\n";
        if (line == "SPEAK") {
            m_receiving.insert(client);
            return "230 OK RECEIVING DATA\r\n";
        }
        if (line == "CANCEL SELF")
            return "213 OK CANCELED\r\n";
        return "300 ERR UNKNOWN COMMAND\r\n";
    }

    Mode m_mode;
    QTemporaryDir m_dir;
    QLocalServer m_server;
    QHash<QLocalSocket*, QByteArray> m_buffers;
    QHash<QLocalSocket*, QByteArray> m_module;
    QHash<QLocalSocket*, QByteArrayList> m_bodies;
    QSet<QLocalSocket*> m_receiving;
    QList<std::pair<QPointer<QLocalSocket>, QByteArray>> m_held;
};

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
