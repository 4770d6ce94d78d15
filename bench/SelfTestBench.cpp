// The whole self-test of the staged program, as CI runs it in the tests' fixture world: the
// real engine, recogniser, store and speech, packs from a loopback server fetched afresh each
// run. Reports the median of three runs and of each group's time.
#include "core/Paths.h"
#include "support/CheckBundle.h"
#include "support/TestWorld.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace {

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

constexpr double targetSeconds = 10;

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void BM_SelfTestRun(benchmark::State& state) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    if (!bundle.isValid()) {
        state.SkipWithError("no staged program");
        return;
    }
    const QRegularExpression groupLine(uR"(^self-test: (\S+) (\d+) ms$)"_s,
                                       QRegularExpression::MultilineOption);
    std::vector<double> runs;
    QMap<QString, std::vector<double>> groups;
    for (auto _ : state) {
        QDir(Paths::lexicon()).removeRecursively();
        ProcessResult run;
        QElapsedTimer clock;
        clock.start();
        bundle.selfTest(QProcessEnvironment::systemEnvironment(), &run);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!run.finished || run.exitCode != 0) {
            state.SkipWithError("the self-test failed");
            return;
        }
        state.SetIterationTime(seconds);
        runs.push_back(seconds);
        for (const QRegularExpressionMatch& line :
             groupLine.globalMatch(QString::fromUtf8(run.err)))
            groups[line.captured(1)].push_back(line.captured(2).toDouble());
    }
    state.counters["median_s"] = median(runs);
    state.counters["target_s"] = targetSeconds;
    state.counters["ratio"] = median(runs) / targetSeconds;
    for (auto group = groups.cbegin(); group != groups.cend(); ++group)
        state.counters[QString(group.key() + u"_ms"_s).toStdString()] = median(group.value());
}

BENCHMARK(BM_SelfTestRun)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
