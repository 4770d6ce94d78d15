// The render modes: one popover picture, drawn and PNG-encoded (its settle excluded), the
// median of 30 against the 150 ms reference, light and dark; and each mode's whole run of the
// staged program with the real engine and packs from a loopback server, against 30 s for the
// screenshot set.
#include "app/AppModel.h"
#include "app/checks/ShotFile.h"
#include "app/views/PopoverView.h"
#include "app/views/Theme.h"
#include "core/Paths.h"
#include "support/CheckBundle.h"
#include "support/Samples.h"
#include "support/TestWorld.h"
#include "support/ViewRig.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;
using bench::Clock;
using bench::percentile;

constexpr double imageReference = 150;
constexpr double setReference = 30;

void BM_PopoverPicture(benchmark::State& state) {
    const bool dark = state.range(0) != 0;
    test::ViewRig rig;
    AppModel& model = rig.make();
    Theme::apply(dark);
    PopoverView popover(model, rig.services);
    popover.setPalette(Theme::palette(dark));
    popover.setAttribute(Qt::WA_DontShowOnScreen);
    popover.resize(420, 600);
    popover.show();
    model.setInput(u"The weather is lovely today, so we are going for a walk by the sea."_s);
    rig.run(AppModel::debounceMilliseconds);
    QApplication::processEvents();
    QTemporaryDir folder;

    std::vector<double> milliseconds;
    for (auto _ : state) {
        const auto start = Clock::now();
        const QImage image = ShotFile::draw(popover, QSize(420, 600), dark);
        if (!ShotFile::writePng(image, folder.path(), u"popover"_s)) {
            state.SkipWithError("not written");
            return;
        }
        milliseconds.push_back(bench::millisecondsSince(start));
    }
    const double median = percentile(milliseconds, 0.5);
    state.SetLabel(dark ? "dark 984x1344" : "light 984x1344");
    state.counters["median_ms"] = median;
    state.counters["target_ms"] = imageReference;
    state.counters["ratio"] = median / imageReference;
}
BENCHMARK(BM_PopoverPicture)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_RenderMode(benchmark::State& state) {
    const QStringList options{u"--render-screenshots"_s, u"--render-fit-shots"_s,
                              u"--render-site-shots"_s};
    const QString option = options.value(int(state.range(0)));
    const test::CheckBundle bundle(test::World::root() + u"/Tivela"_s);
    if (!bundle.isValid()) {
        state.SkipWithError("no staged program");
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    double seconds = 0;
    for (auto _ : state) {
        QDir(Paths::lexicon()).removeRecursively();
        const QString out = test::World::root() + u"/shots"_s;
        QDir(out).removeRecursively();
        QElapsedTimer clock;
        clock.start();
        const test::ProcessResult run = bundle.render(option, out, environment);
        seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!run.finished || run.exitCode != 0) {
            state.SkipWithError("the mode failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.SetLabel(option.toStdString());
    state.counters["s"] = seconds;
    if (state.range(0) == 0) {
        state.counters["target_s"] = setReference;
        state.counters["ratio"] = seconds / setReference;
    }
}
BENCHMARK(BM_RenderMode)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

} // namespace
