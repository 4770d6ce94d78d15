// The window and keyboard checks of the staged program, as a person runs them: the window check
// on this (private) desktop, the keyboard check started as on the person's display, so its
// time includes the display of its own that it starts. Reports each mode's wall time and the
// time its waits spent at their bound (a condition that never came) beside the plain pauses.
#include "platform/x11/PrivateDesktop.h"
#include "support/CheckBundle.h"
#include "support/TestWorld.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QRegularExpression>

namespace {

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

void runCheck(benchmark::State& state, const QString& option, const QString& mode,
              double targetSeconds, int timeoutMs) {
    const CheckBundle bundle(World::root() + u"/Tivela"_s);
    if (!bundle.isValid()) {
        state.SkipWithError("no staged program");
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    if (option == u"--check-keys")
        environment.remove(QString::fromLatin1(PrivateDesktop::markerVariable));
    const QRegularExpression times(
        mode + uR"(: wall (\d+) ms, waits at their bound (\d+) ms \((\d+)\), pauses (\d+) ms)"_s);
    double seconds = 0;
    for (auto _ : state) {
        ProcessResult run;
        QElapsedTimer clock;
        clock.start();
        const QJsonObject report = bundle.check(option, environment, &run, timeoutMs);
        seconds = double(clock.nsecsElapsed()) / 1e9;
        const QRegularExpressionMatch line = times.match(QString::fromUtf8(run.err));
        if (!run.finished || run.exitCode != 0 || !line.hasMatch()) {
            state.SkipWithError(QByteArray("the check failed: " + run.err.right(2000)).constData());
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["script_s"] = line.captured(1).toDouble() / 1000;
        state.counters["at_bound_s"] = line.captured(2).toDouble() / 1000;
        state.counters["at_bound_waits"] = line.captured(3).toDouble();
        state.counters["pauses_s"] = line.captured(4).toDouble() / 1000;
        state.counters["checks"] = report.value(u"total"_s).toDouble();
    }
    state.counters["wall_s"] = seconds;
    state.counters["target_s"] = targetSeconds;
    state.counters["ratio"] = seconds / targetSeconds;
}

void BM_WindowCheck(benchmark::State& state) {
    runCheck(state, u"--check-window"_s, u"check-window"_s, 10, 60000);
}

void BM_KeyCheck(benchmark::State& state) {
    runCheck(state, u"--check-keys"_s, u"check-keys"_s, 60, 170000);
}

BENCHMARK(BM_WindowCheck)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_KeyCheck)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
