// Language tables and the script check: the pure functions every translation passes through.
#include "core/Languages.h"
#include "core/ScriptCheck.h"

#include <benchmark/benchmark.h>

#include <QLocale>

namespace {

using namespace tivela;

QStringList allCodes() {
    QStringList codes = Languages::popularity();
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
        codes << Languages::code(locale.name());
    return codes;
}

void BM_SortedAllCodes(benchmark::State& state) {
    const QStringList codes = allCodes();
    for (auto _ : state)
        benchmark::DoNotOptimize(Languages::sorted(codes));
    state.counters["codes"] = double(codes.size());
    state.counters["unique"] = double(Languages::sorted(codes).size());
}
BENCHMARK(BM_SortedAllCodes)->Unit(benchmark::kMicrosecond);

void BM_ScriptCheckFits(benchmark::State& state) {
    const QString sentence = QStringLiteral("Привет, как дела сегодня? Всё хорошо, спасибо. ");
    QString text;
    while (text.size() < state.range(0))
        text += sentence;
    text.truncate(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(ScriptCheck::fits(text, QStringLiteral("ru")));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ScriptCheckFits)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_CodeFromIdentifier(benchmark::State& state) {
    const QStringList identifiers{QStringLiteral("en-US"), QStringLiteral("zh-Hant-TW"),
                                  QStringLiteral("pt_BR"), QStringLiteral("nn-NO")};
    for (auto _ : state)
        for (const QString& identifier : identifiers)
            benchmark::DoNotOptimize(Languages::code(identifier));
    state.SetItemsProcessed(state.iterations() * identifiers.size());
}
BENCHMARK(BM_CodeFromIdentifier);

} // namespace
