// The bridge host as the browser meets it: how soon the first reply comes after the host is
// started, the round trip of "hello" while eight slow requests (lookups waiting for pack
// downloads that take a minute) wait in the host, and of "hello" and "phrases" while a page
// keeps 64 batches in flight, a page's batch of 100 texts, and a small translation sent right
// behind a batch of ten tokens of 100,000 characters.
#include "core/Paths.h"
#include "support/HostProcess.h"
#include "support/HttpServer.h"
#include "support/TestWorld.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <map>

namespace {

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

double percentile(std::vector<double> samples, double p) {
    std::sort(samples.begin(), samples.end());
    return samples[size_t(p * double(samples.size() - 1))];
}

// A bundle of its own around a copy of the staged host, naming the slow pack server.
QString bundledHost(const QUrl& packs) {
    const QString root = World::root() + u"/bundle"_s;
    const QString program = root + u"/libexec/tivela-bridge"_s;
    QDir().mkpath(root + u"/libexec"_s);
    QFile::remove(program);
    QFile::copy(HostProcess::stagedProgram(), program);
    QFile info(root + u"/bundle.json"_s);
    info.open(QIODevice::WriteOnly);
    info.write(QJsonDocument(QJsonObject{{u"CFBundleIdentifier"_s, u"dev.quorvanta.Tivela.dev"_s},
                                         {u"CFBundleShortVersionString"_s, u"1.0"_s},
                                         {u"TivelaLexiconURL"_s, packs.toString()}})
                   .toJson());
    return program;
}

// Times each iteration's round trip and reports the median and 95th percentile.
template <typename RoundTrip>
void timeEach(benchmark::State& state, RoundTrip roundTrip) {
    std::vector<double> samples;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        if (!roundTrip()) {
            state.SkipWithError("no reply");
            return;
        }
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["median_ms"] = percentile(samples, 0.5);
    state.counters["p95_ms"] = percentile(samples, 0.95);
}

QJsonObject hello() {
    return {{u"type"_s, u"hello"_s}};
}

void BM_FirstReply(benchmark::State& state) {
    timeEach(state, [] {
        HostProcess host;
        return host.request(hello(), 10000).has_value();
    });
    state.counters["target_ms"] = 100;
}
BENCHMARK(BM_FirstReply)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_HelloWithEightSlowRequests(benchmark::State& state) {
    HttpServer server;
    const QStringList slowLanguages{u"de"_s, u"fr"_s, u"it"_s, u"pt"_s,
                                    u"ru"_s, u"uk"_s, u"pl"_s, u"nl"_s};
    HttpServer::Response slow;
    slow.status = 404;
    slow.delayMs = 60000;
    for (const QString& code : slowLanguages)
        server.route(u"/packs/"_s + code + u".lex.gz"_s, slow);
    HostProcess host(bundledHost(server.url(u"/packs/"_s)));
    for (const QString& code : slowLanguages)
        host.send({{u"type"_s, u"lookup"_s},
                   {u"word"_s, u"x"_s},
                   {u"from"_s, code},
                   {u"to"_s, code},
                   {u"wait"_s, true},
                   {u"id"_s, code}});
    // The first hello fills the engine's language cache; it is not measured.
    host.request(hello(), 10000);

    timeEach(state, [&] { return host.request(hello(), 10000).has_value(); });
    int inFlight = 0; // Qt opens at most six connections to one server; the rest queue.
    for (const QString& code : slowLanguages)
        inFlight += server.requests(u"/packs/"_s + code + u".lex.gz"_s);
    state.counters["slow_downloads_started"] = inFlight;
    state.counters["target_p95_ms"] = 20;
}
BENCHMARK(BM_HelloWithEightSlowRequests)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

// A page's batch, English to Spanish: sentences, and every tenth text a word the engine hands
// back as it is.
void BM_TranslateBatchOf100(benchmark::State& state) {
    const QStringList sentences{u"The house is big and the garden is green."_s,
                                u"Click here to read more about our hotel."_s,
                                u"Thank you for your order"_s, u"The weather is nice today."_s,
                                u"Maria lives in Berlin"_s};
    const QStringList unknown{u"Hund"_s, u"Katze"_s, u"hosue"_s, u"Schmetterling"_s};
    QJsonArray texts;
    for (int i = 0; i < 100; ++i)
        texts.append(i % 10 == 9 ? unknown[i / 10 % unknown.size()]
                                 : sentences[i % sentences.size()] + u' ' + QString::number(i));
    const QJsonObject batch{{u"type"_s, u"translateBatch"_s},
                            {u"texts"_s, texts},
                            {u"from"_s, u"en"_s},
                            {u"to"_s, u"es"_s}};
    HostProcess host;
    QElapsedTimer first;
    first.start();
    // The first starts the engine's stages; it is reported apart.
    const auto warm = host.request(batch, 60000);
    state.counters["first_ms"] = double(first.nsecsElapsed()) / 1e6;
    if (!warm || !warm->value(u"ok"_s).toBool()) {
        state.SkipWithError("the engine has no English to Spanish");
        return;
    }
    timeEach(state, [&] { return host.request(batch, 60000).has_value(); });
}
BENCHMARK(BM_TranslateBatchOf100)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// A page's batch, English to Spanish.
QJsonObject pageBatch(int texts) {
    QJsonArray sentences;
    for (int i = 0; i < texts; ++i)
        sentences.append(
            u"The weather is very nice today and we are going to the beach number %1."_s.arg(i));
    return {{u"type"_s, u"translateBatch"_s},
            {u"texts"_s, sentences},
            {u"from"_s, u"en"_s},
            {u"to"_s, u"es"_s}};
}

// 64 batches stay in flight (each one answered is sent again) while "hello" and "phrases" take
// turns: neither may wait for a batch.
void BM_HelloAndPhrasesBesideSixtyFourBatches(benchmark::State& state) {
    constexpr int inFlight = 64;
    HostProcess host;
    const QJsonObject batch = pageBatch(40);
    // The first starts the engine's stages and the second fills the language cache; neither
    // is measured.
    const auto warm = host.request(batch, 60000);
    if (!warm || !warm->value(u"ok"_s).toBool() || !host.request(hello(), 10000)) {
        state.SkipWithError("the engine has no English to Spanish");
        return;
    }
    for (int i = 0; i < inFlight; ++i)
        host.send(batch);
    std::map<QString, std::vector<double>> samples;
    int turn = 0;
    int batchesAnswered = 0;
    for (auto _ : state) {
        const QString type = turn % 2 ? u"phrases"_s : u"hello"_s;
        const QString id = type + QString::number(turn++);
        QElapsedTimer timer;
        timer.start();
        host.send({{u"type"_s, type}, {u"id"_s, id}});
        for (;;) {
            const auto reply = host.receive(10000);
            if (!reply) {
                state.SkipWithError("no reply");
                return;
            }
            if (reply->value(u"id"_s) == id)
                break;
            ++batchesAnswered;
            host.send(batch);
        }
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        samples[type].push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["hello_p95_ms"] = percentile(samples[u"hello"_s], 0.95);
    state.counters["phrases_p95_ms"] = percentile(samples[u"phrases"_s], 0.95);
    state.counters["hello_median_ms"] = percentile(samples[u"hello"_s], 0.5);
    state.counters["batches_in_flight"] = inFlight;
    state.counters["batches_answered"] = batchesAnswered;
    state.counters["target_p95_ms"] = 20;
}
BENCHMARK(BM_HelloAndPhrasesBesideSixtyFourBatches)
    ->UseManualTime()
    ->Iterations(1000)
    ->Unit(benchmark::kMillisecond);

// One request of ten tokens of 100,000 characters each, no spaces (a megabyte of encoded data
// on a page), and a small English-Spanish translation sent right behind it: how long the small
// one waits for its answer.
void BM_SmallTranslationBesideTenLongTokens(benchmark::State& state) {
    HostProcess host;
    const QJsonObject small{{u"type"_s, u"translate"_s},
                            {u"text"_s, u"The house is big."_s},
                            {u"from"_s, u"en"_s},
                            {u"to"_s, u"es"_s}};
    const auto warm = host.request(small, 60000);
    if (!warm || !warm->value(u"ok"_s).toBool()) {
        state.SkipWithError("the engine has no English to Spanish");
        return;
    }
    QJsonArray tokens;
    for (int i = 0; i < 10; ++i)
        tokens.append(QString(u"QmFzZTY0IGl%1"_s.arg(i)).repeated(100'000 / 12 + 1).left(100'000));
    const QJsonObject batch{{u"type"_s, u"translateBatch"_s},
                            {u"id"_s, u"tokens"_s},
                            {u"texts"_s, tokens},
                            {u"from"_s, u"en"_s},
                            {u"to"_s, u"es"_s}};
    std::vector<double> samples;
    for (auto _ : state) {
        host.send(batch);
        QElapsedTimer timer;
        timer.start();
        const auto answer = host.request(small, 60000);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        // The batch's own answer, before the next round.
        std::optional<QJsonObject> tokensAnswer;
        while (!tokensAnswer || tokensAnswer->value(u"id"_s) != u"tokens"_s)
            if (!(tokensAnswer = host.receive(60000)))
                break;
        if (!answer || !answer->value(u"ok"_s).toBool() || !tokensAnswer ||
            !tokensAnswer->value(u"ok"_s).toBool()) {
            state.SkipWithError("no answer");
            return;
        }
        samples.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["median_ms"] = percentile(samples, 0.5);
    state.counters["max_ms"] = *std::max_element(samples.begin(), samples.end());
    state.counters["token_chars"] = double(tokens.first().toString().size());
    state.counters["target_ms"] = 1000;
}
BENCHMARK(BM_SmallTranslationBesideTenLongTokens)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

} // namespace
