// The popover as the user meets it, offscreen, on the real model with real text fitting.
// A keystroke into the input until the popover has painted it, with 60 and with 3,000
// characters in the input (the longest text still measured); the references are 8 ms for the
// median and 16 ms for the 95th percentile, and the model's own keystroke is measured beside it
// for the ratio. Then the whole popover with a translation drawn into an 840 x 1200 image at
// twice the resolution, light and dark; the reference is 30 ms for the median.
#include "app/Speech.h"
#include "app/views/PopoverView.h"
#include "app/views/Theme.h"
#include "core/Paths.h"
#include "support/Prose.h"
#include "support/Samples.h"
#include "support/ViewRig.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;
using bench::Clock;
using bench::percentile;

constexpr double keystrokeMedianReference = 8;
constexpr double keystrokeP95Reference = 16;
constexpr double renderReference = 30;

// Counts the paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void BM_KeystrokeToPaint(benchmark::State& state) {
    test::ViewRig rig;
    AppModel& model = rig.make();
    // The listen buttons follow the input, each time with the speech hints of the saved pair.
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    rig.services.hints = [] { return Speech::hints(); };
    PopoverView popover(model, rig.services);
    popover.show();
    popover.activateWindow();
    if (!QTest::qWaitForWindowActive(&popover)) {
        state.SkipWithError("the popover never became the active window");
        return;
    }
    auto* editor = popover.findChild<QPlainTextEdit*>(u"tivela.input"_s);
    editor->setFocus();
    const QString text = bench::prose(state.range(0) - 1);
    model.setInput(text);
    QApplication::processEvents();
    PaintCounter counter;
    editor->viewport()->installEventFilter(&counter);

    // Typing a letter and taking it back again, each until everything it changed is painted.
    std::vector<double> milliseconds;
    bool typed = false;
    for (auto _ : state) {
        typed = !typed;
        const auto start = Clock::now();
        if (typed)
            QTest::sendKeyEvent(QTest::Click, popover.windowHandle(), Qt::Key_E, u"e"_s, {});
        else
            QTest::sendKeyEvent(QTest::Click, popover.windowHandle(), Qt::Key_Backspace, QString(),
                                {});
        QApplication::processEvents();
        milliseconds.push_back(bench::millisecondsSince(start));
    }
    // The model alone, for the ratio: the same keystrokes as plain writes of the input.
    std::vector<double> model_only;
    const QString longer = text + u'e';
    for (int i = 0; i < 2000; ++i) {
        const auto start = Clock::now();
        model.setInput(i % 2 == 0 ? longer : text);
        model_only.push_back(bench::millisecondsSince(start));
    }
    const double median = percentile(milliseconds, 0.5);
    const double p95 = percentile(milliseconds, 0.95);
    state.counters["characters"] = double(model.input().size());
    state.counters["paints"] = counter.paints;
    state.counters["median_ms"] = median;
    state.counters["p95_ms"] = p95;
    state.counters["of_reference"] =
        std::max(median / keystrokeMedianReference, p95 / keystrokeP95Reference);
    state.counters["model_median_ms"] = percentile(model_only, 0.5);
    state.counters["to_model"] = median / percentile(model_only, 0.5);
}
BENCHMARK(BM_KeystrokeToPaint)->Arg(60)->Arg(3000)->Unit(benchmark::kMicrosecond)->Iterations(400);

void BM_RenderPopover(benchmark::State& state) {
    const bool dark = state.range(0) != 0;
    test::ViewRig rig;
    AppModel& model = rig.make();
    PopoverView popover(model, rig.services);
    popover.setPalette(Theme::palette(dark));
    popover.show();
    model.setInput(u"The weather is lovely today, so we are going for a walk by the sea."_s);
    rig.run(AppModel::debounceMilliseconds);
    QApplication::processEvents();

    std::vector<double> milliseconds;
    for (auto _ : state) {
        const auto start = Clock::now();
        QImage image(840, 1200, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(popover.palette().color(QPalette::Window));
        popover.render(&image);
        benchmark::DoNotOptimize(image.constBits());
        milliseconds.push_back(bench::millisecondsSince(start));
    }
    const double median = percentile(milliseconds, 0.5);
    state.SetLabel(dark ? "dark" : "light");
    state.counters["median_ms"] = median;
    state.counters["of_reference"] = median / renderReference;
}
BENCHMARK(BM_RenderPopover)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace
