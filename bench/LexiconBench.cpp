// Dictionary packs: loading an English-sized pack (read, inflate, index) and its memory, the
// raw key search, and whole word-card lookups from English.
#include "core/Lexicon.h"
#include "support/TestWorld.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <chrono>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;

constexpr int englishLines = 600000;
constexpr int germanLines = 300000;
constexpr int sampleWords = 10000;
constexpr double loadTarget = 0.4;
constexpr double lookupTarget = 1e-3;

struct Packs {
    QString folder;
    QStringList words;
    bool ok = false;
};

bool generate(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(TIVELA_PACKGEN), args);
    if (!process.waitForFinished(600000)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Made once per run: an English pack of 600,000 lines with 10,000 words drawn from it as a
// reader meets them, and a German pack to translate into.
const Packs& packs() {
    static const Packs made = [] {
        Packs packs;
        packs.folder = test::World::root() + u"/bench-lexicon"_s;
        QDir().mkpath(packs.folder);
        const QString words = packs.folder + u"/en.words"_s;
        packs.ok = generate({u"--lang"_s, u"en"_s, u"--lines"_s, QString::number(englishLines),
                             u"--sample"_s, QString::number(sampleWords), u"--sample-file"_s, words,
                             packs.folder + u"/en.lex.gz"_s}) &&
                   generate({u"--lang"_s, u"de"_s, u"--lines"_s, QString::number(germanLines),
                             packs.folder + u"/de.lex.gz"_s});
        QFile file(words);
        if (packs.ok && file.open(QIODevice::ReadOnly))
            packs.words = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        packs.ok = packs.ok && packs.words.size() == sampleWords;
        return packs;
    }();
    return made;
}

double residentMegabytes() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.sliced(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty())
        return 0;
    const auto index = size_t(share * double(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + qsizetype(index), values.end());
    return values[index];
}

void BM_LoadEnglishPack(benchmark::State& state) {
    const Packs& made = packs();
    if (!made.ok) {
        state.SkipWithError("the pack generator failed");
        return;
    }
    const QString path = made.folder + u"/en.lex.gz"_s;
    const double before = residentMegabytes();
    std::shared_ptr<const LexiconPack> pack;
    double seconds = 0;
    for (auto _ : state) {
        pack.reset();
        QElapsedTimer timer;
        timer.start();
        pack = LexiconPack::load(path, u"en"_s);
        seconds += double(timer.nsecsElapsed()) / 1e9;
        benchmark::DoNotOptimize(pack.get());
    }
    if (!pack) {
        state.SkipWithError("the pack did not load");
        return;
    }
    state.counters["lines"] = double(pack->lineCount());
    state.counters["text_MB"] = double(pack->textSize()) / 1e6;
    state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
    state.counters["rss_MB"] = residentMegabytes();
    state.counters["pack_rss_MB"] = residentMegabytes() - before;
    state.counters["load_s"] = seconds / double(state.iterations());
    state.counters["load/target"] = seconds / double(state.iterations()) / loadTarget;
}
BENCHMARK(BM_LoadEnglishPack)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same bytes through both inflaters: libdeflate in one pass, zlib streaming.
void BM_InflateLibdeflateVersusZlib(benchmark::State& state) {
    const Packs& made = packs();
    QFile file(made.folder + u"/en.lex.gz"_s);
    if (!made.ok || !file.open(QIODevice::ReadOnly)) {
        state.SkipWithError("no pack");
        return;
    }
    const QByteArray data = file.readAll();
    double fast = 0;
    double streaming = 0;
    qsizetype size = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const auto a = LexiconPack::gunzip(data, LexiconPack::Inflater::Fastest);
        fast += double(timer.nsecsElapsed()) / 1e9;
        timer.restart();
        const auto b = LexiconPack::gunzip(data, LexiconPack::Inflater::Streaming);
        streaming += double(timer.nsecsElapsed()) / 1e9;
        if (!a || !b || a->view() != b->view()) {
            state.SkipWithError("the inflaters disagree");
            return;
        }
        size = a->size();
    }
    const double runs = double(state.iterations());
    state.counters["text_MB"] = double(size) / 1e6;
    state.counters["libdeflate_ms"] = fast / runs * 1e3;
    state.counters["zlib_ms"] = streaming / runs * 1e3;
    state.counters["libdeflate/zlib"] = fast / streaming;
}
BENCHMARK(BM_InflateLibdeflateVersusZlib)->Unit(benchmark::kMillisecond)->Iterations(3);

template <typename Call>
void timeEach(benchmark::State& state, const QStringList& words, Call call, double target) {
    std::vector<double> seconds;
    seconds.reserve(size_t(words.size()));
    int found = 0;
    for (auto _ : state) {
        seconds.clear();
        found = 0;
        for (const QString& word : words) {
            const auto start = std::chrono::steady_clock::now();
            found += call(word) ? 1 : 0;
            seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    state.counters["words"] = double(words.size());
    state.counters["found"] = double(found);
    state.counters["median_us"] = percentile(seconds, 0.5) * 1e6;
    state.counters["p99_us"] = percentile(seconds, 0.99) * 1e6;
    state.counters["p99/target"] = percentile(seconds, 0.99) / target;
}

void BM_RawLookup(benchmark::State& state) {
    const Packs& made = packs();
    Lexicon lexicon(made.folder);
    const auto pack = made.ok ? lexicon.pack(u"en"_s) : nullptr;
    if (!pack) {
        state.SkipWithError("no pack");
        return;
    }
    QStringList keys;
    for (const QString& word : made.words)
        keys << u"w"_s + Lexicon::key(word, u"en"_s);
    timeEach(
        state, keys, [&](const QString& key) { return pack->raw(key).has_value(); }, lookupTarget);
}
BENCHMARK(BM_RawLookup)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FullLookupEnglishToGerman(benchmark::State& state) {
    const Packs& made = packs();
    Lexicon lexicon(made.folder);
    if (!made.ok || !lexicon.pack(u"en"_s) || !lexicon.pack(u"de"_s)) {
        state.SkipWithError("no packs");
        return;
    }
    timeEach(
        state, made.words,
        [&](const QString& word) { return lexicon.lookup(word, u"en"_s, u"de"_s).has_value(); },
        lookupTarget);
}
BENCHMARK(BM_FullLookupEnglishToGerman)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
