// A keystroke into a long input, as the input editor hands it to the application model: the
// model takes the text, refits the input box's font (real text measurement, offscreen) and
// schedules the debounced translation on a real timer. The input holds 3,000 characters, the
// longest text that is still measured; the reference is 2 ms for the median keystroke.
#include "app/AppModel.h"
#include "core/Lexicon.h"
#include "core/Store.h"

#include "support/Prose.h"

#include <benchmark/benchmark.h>

#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;

constexpr double referenceMilliseconds = 2;

void BM_Keystroke(benchmark::State& state) {
    QTemporaryDir dir;
    Store store(dir.filePath(u"tivela.sqlite"_s));
    Lexicon lexicon(dir.filePath(u"Lexicon"_s));
    AppModel model(store, lexicon);
    // The input box of the popover: its width less the margins, a third of its height.
    model.setInputBox({392, 190});
    const QString shorter = bench::prose(AppModel::maxMeasuredLength - 1);
    const QString longer = shorter + u'e';
    model.setInput(shorter);

    // Typing a letter and taking it back again: every keystroke changes the text.
    std::vector<double> milliseconds;
    milliseconds.reserve(100000);
    bool typed = false;
    for (auto _ : state) {
        typed = !typed;
        const auto start = std::chrono::steady_clock::now();
        model.setInput(typed ? longer : shorter);
        const auto end = std::chrono::steady_clock::now();
        milliseconds.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::nth_element(milliseconds.begin(), milliseconds.begin() + milliseconds.size() / 2,
                     milliseconds.end());
    const double median = milliseconds[milliseconds.size() / 2];
    state.counters["characters"] = double(longer.size());
    state.counters["font_size"] = model.inputFontSize();
    state.counters["median_ms"] = median;
    state.counters["of_reference"] = median / referenceMilliseconds;
}
BENCHMARK(BM_Keystroke)->Unit(benchmark::kMicrosecond)->Iterations(2000);

} // namespace
