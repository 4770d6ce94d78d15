// Fitting the font of a text box, as the translate tab does on every change of its text: a
// fresh choice on the input box's ladder for a pasted text of 2,000 and of 50,000 characters.
// The reference is the 20 ms a refit may take on the long text; the full layout of the text,
// which fitting avoids, is measured beside it.
#include "core/TextFit.h"

#include "support/Prose.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QString>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;

// The input box of the popover: 420 points wide less its margins, a third of its height.
constexpr double boxWidth = 392;
constexpr double boxHeight = 190;
constexpr double budgetMilliseconds = 20;

// Time per call as a share of the budget.
double shareOfBudget(const QElapsedTimer& timer, const benchmark::State& state) {
    const double perCall = double(timer.nsecsElapsed()) / 1e6 / double(state.iterations());
    return perCall / budgetMilliseconds;
}

// A fresh choice (a pasted text), or a refit from the size in use (typing).
void choose(benchmark::State& state, bool fresh) {
    const QString input = bench::prose(state.range(0));
    const auto fits = [&](double size, double factor) {
        return TextMeasure::fits(input, size, boxWidth * factor, boxHeight);
    };
    const std::optional<double> current =
        fresh ? std::nullopt : std::optional(FontFit::input.choose(std::nullopt, fits));
    double size = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        size = FontFit::input.choose(current, fits);
        benchmark::DoNotOptimize(size);
    }
    state.counters["characters"] = double(input.size());
    state.counters["size"] = size;
    state.counters["of_budget"] = shareOfBudget(timer, state);
}
BENCHMARK_CAPTURE(choose, fresh, true)->Arg(2000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(choose, typing, false)->Arg(2000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_LinesWhole(benchmark::State& state) {
    const QString input = bench::prose(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(TextMeasure::lines(input, 16, boxWidth));
    state.counters["characters"] = double(input.size());
    state.counters["lines"] = TextMeasure::lines(input, 16, boxWidth).count;
}
BENCHMARK(BM_LinesWhole)->Arg(2000)->Arg(50000)->Unit(benchmark::kMillisecond);

} // namespace
