// Speech: the main thread's share of reading aloud (choosing a voice from a daemon-sized list,
// queuing a request) and the work behind it (the daemon's voice list, synthesis).
#include "core/Speaker.h"
#include "platform/speech/Espeak.h"
#include "platform/speech/SpeechDispatcher.h"
#include "platform/speech/SynthesizerVoices.h"
#include "platform/speech/SystemSpeech.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPromise>
#include <QTemporaryDir>

#include <atomic>

namespace {

using namespace tivela;
using namespace Qt::StringLiterals;

constexpr double frameNanoseconds = 1e9 / 60;

// What speech-dispatcher lists with espeak-ng: every voice, each again with 100 variants.
const QList<Voices::Voice>& daemonSizedList() {
    static const QList<Voices::Voice> list = [] {
        Espeak engine([](const qint16*, int) {});
        QList<Voices::Voice> result;
        for (const Voices::Voice& base : engine.voices()) {
            result << base;
            for (int variant = 1; variant <= 100; ++variant) {
                const QString name = base.name + u"+variant"_s + QString::number(variant);
                result << SynthesizerVoices::voice(u"espeak-ng"_s, name, base.language,
                                                   u"variant"_s);
            }
        }
        return result;
    }();
    return list;
}

class ListedSpeech final : public SpeechBackend {
public:
    QFuture<QList<Voices::Voice>> voices() override {
        QPromise<QList<Voices::Voice>> promise;
        promise.start();
        promise.addResult(daemonSizedList());
        promise.finish();
        return promise.future();
    }
    void speak(const QString&, const Voices::Voice&) override {}
    void stop() override {}
};

std::unique_ptr<Speaker> readySpeaker() {
    auto speaker = std::make_unique<Speaker>(std::make_unique<ListedSpeech>());
    while (!speaker->ready().isFinished())
        QCoreApplication::processEvents();
    return speaker;
}

void reportPerCall(benchmark::State& state, const QElapsedTimer& clock, int callsPerIteration,
                   double referenceNanoseconds, const char* reference) {
    const double perCall =
        double(clock.nsecsElapsed()) / double(state.iterations() * callsPerIteration);
    state.counters["us_per_call"] = perCall / 1000;
    state.counters[reference] = perCall / referenceNanoseconds;
}

void BM_SpeakerResolve(benchmark::State& state) {
    const auto speaker = readySpeaker();
    const QStringList hints{u"ru"_s, u"en"_s};
    const QStringList texts{u"Good morning"_s, u"Доброе утро"_s, u"早上好"_s};
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state)
        for (const QString& text : texts)
            benchmark::DoNotOptimize(speaker->resolve(text, u"en"_s, hints));
    reportPerCall(state, clock, int(texts.size()), frameNanoseconds, "share_of_frame");
    state.counters["voices"] = double(daemonSizedList().size());
}
BENCHMARK(BM_SpeakerResolve)->Unit(benchmark::kMicrosecond);

void BM_SpeakerLanguages(benchmark::State& state) {
    const auto speaker = readySpeaker();
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state)
        benchmark::DoNotOptimize(speaker->languages());
    reportPerCall(state, clock, 1, frameNanoseconds, "share_of_frame");
    state.counters["languages"] = double(speaker->languages().size());
}
BENCHMARK(BM_SpeakerLanguages)->Unit(benchmark::kMicrosecond);

// What the caller pays to have speech replaced, while the worker synthesises behind it.
void BM_QueueSpeakAndStop(benchmark::State& state) {
    QTemporaryDir empty;
    qputenv("SPEECHD_ADDRESS", "unix_socket:" + empty.filePath(u"none.sock"_s).toLocal8Bit());
    std::atomic<qint64> samples{0};
    SystemSpeech::Options options;
    options.autospawn = false;
    options.fallbackSink = [&](const qint16*, int n) { samples += n; };
    {
        SystemSpeech speech(options);
        speech.voices().waitForFinished();
        const Voices::Voice english{u"espeak-ng/English (America)"_s, u"English (America)"_s,
                                    u"en-US"_s, 1, false};
        QElapsedTimer clock;
        clock.start();
        for (auto _ : state) {
            speech.stop();
            speech.speak(u"Hello there."_s, english);
        }
        reportPerCall(state, clock, 2, 1e6, "share_of_1ms");
    }
    qunsetenv("SPEECHD_ADDRESS");
    state.counters["samples_spoken"] = double(samples);
}
BENCHMARK(BM_QueueSpeakAndStop)->Unit(benchmark::kMicrosecond);

void BM_EspeakSynthesis(benchmark::State& state) {
    qint64 samples = 0;
    Espeak engine([&](const qint16*, int n) { samples += n; });
    const QString sentence = u"The quick brown fox jumps over the lazy dog, twice a day."_s;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state)
        engine.speak(sentence, u"English (America)"_s);
    const double audioSeconds = double(samples) / engine.sampleRate();
    state.counters["audio_s_per_sentence"] = audioSeconds / double(state.iterations());
    state.counters["realtime_factor"] = audioSeconds / (double(clock.nsecsElapsed()) / 1e9);
}
BENCHMARK(BM_EspeakSynthesis)->Unit(benchmark::kMillisecond);

// Starting the daemon and listing its voices, against the 1.5 s it is known to take.
void BM_DaemonVoiceList(benchmark::State& state) {
    qunsetenv("SPEECHD_ADDRESS");
    SpeechDispatcher daemon({}, true);
    QElapsedTimer clock;
    clock.start();
    if (!daemon.connect()) {
        state.SkipWithError("no speech-dispatcher daemon answers");
        return;
    }
    state.counters["connect_ms"] = double(clock.elapsed());
    qsizetype voices = 0;
    clock.start();
    for (auto _ : state)
        voices = daemon.voices().value_or(QList<Voices::Voice>{}).size();
    const double perList = double(clock.nsecsElapsed()) / double(state.iterations());
    state.counters["voices"] = double(voices);
    state.counters["share_of_1.5s"] = perList / 1.5e9;
}
BENCHMARK(BM_DaemonVoiceList)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
