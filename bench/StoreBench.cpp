// The store as the popover uses it: a full history and a large phrasebook on a real file.
#include "core/Store.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using namespace tivela;
using namespace Qt::StringLiterals;

constexpr int historyRows = Store::historyLimit;
constexpr int phraseCount = 2000;
constexpr double targetMs = 5;
constexpr double now = 1'800'000'000;

Item makeItem(const QString& text, double created) {
    return Item{QUuid::createUuid().toString(QUuid::WithoutBraces),
                text,
                text + u" traducido"_s,
                u"en"_s,
                u"es"_s,
                created};
}

// One store for all benchmarks, filled once: a full history and a phrasebook of which every
// third card is due.
Store& seeded() {
    static QTemporaryDir dir;
    static Store store(dir.filePath(u"tivela.sqlite"_s));
    static const bool filled = [] {
        for (int i = 0; i < historyRows; ++i)
            store.addHistory(makeItem(u"sentence %1 about the weather"_s.arg(i), i));
        for (int i = 0; i < phraseCount; ++i) {
            Item card = makeItem(u"phrase %1 to remember"_s.arg(i), i);
            card.due = i % 3 == 0 ? now - i : now + i;
            store.addPhrase(card);
        }
        return true;
    }();
    Q_UNUSED(filled);
    return store;
}

double quantile(std::vector<double> samples, double q) {
    if (samples.empty())
        return 0;
    const auto index = size_t(q * double(samples.size() - 1));
    std::nth_element(samples.begin(), samples.begin() + ptrdiff_t(index), samples.end());
    return samples[index];
}

// Times each run of body and reports the chosen quantile in milliseconds against the target.
template <typename Body>
void measure(benchmark::State& state, double q, const char* name, Body&& body) {
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        samples.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    const double value = quantile(std::move(samples), q);
    state.counters[name] = value;
    state.counters["target_ms"] = targetMs;
    state.counters["ratio"] = value / targetMs;
}

void BM_AddHistoryP95(benchmark::State& state) {
    Store& store = seeded();
    int next = historyRows;
    measure(state, 0.95, "p95_ms", [&] {
        benchmark::DoNotOptimize(
            store.addHistory(makeItem(u"sentence %1 about the weather"_s.arg(next), next)));
        ++next;
    });
    state.counters["rows"] = double(store.history(QString(), historyRows * 2).size());
}
BENCHMARK(BM_AddHistoryP95)->Iterations(1000)->Unit(benchmark::kMillisecond);

void BM_HistorySearchMedian(benchmark::State& state) {
    Store& store = seeded();
    qsizetype found = 0;
    measure(state, 0.5, "median_ms", [&] { found = store.history(u"WEATHER"_s, 200).size(); });
    state.counters["rows"] = historyRows;
    state.counters["found"] = double(found);
}
BENCHMARK(BM_HistorySearchMedian)->Unit(benchmark::kMillisecond);

void BM_DueCardsMedian(benchmark::State& state) {
    Store& store = seeded();
    qsizetype due = 0;
    measure(state, 0.5, "median_ms", [&] { due = store.dueCards(now).size(); });
    state.counters["phrases"] = phraseCount;
    state.counters["due"] = double(due);
}
BENCHMARK(BM_DueCardsMedian)->Unit(benchmark::kMillisecond);

} // namespace
