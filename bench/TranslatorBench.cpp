// Apertium's English to Spanish pair three ways over the same sentences: the cold command per
// sentence, the translator with its warm session, and batches of 100. The raw pipeline, driven
// directly, is the reference for what the translator adds to a warm session.
#include "core/Translator.h"
#include "platform/engine/ApertiumEngine.h"
#include "support/Processes.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

QStringList sentences() {
    QFile file(qEnvironmentVariable("TIVELA_SOURCE_DIR") + u"/bench/data/sentences-en.txt"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return lines;
}

struct Spread {
    double median = 0;
    double p95 = 0;
};

Spread spread(QList<double> milliseconds) {
    if (milliseconds.isEmpty())
        return {};
    std::sort(milliseconds.begin(), milliseconds.end());
    const auto at = [&](double share) {
        return milliseconds[qsizetype(share * double(milliseconds.size() - 1) + 0.5)];
    };
    return {at(0.5), at(0.95)};
}

double since(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

// `apertium -u eng-spa` started afresh for every sentence, as a script would run it.
QList<double> cold(const QStringList& texts) {
    QList<double> times;
    for (const QString& text : texts) {
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start(u"apertium"_s, {u"-u"_s, u"eng-spa"_s});
        process.write(text.toUtf8());
        process.closeWriteChannel();
        if (!process.waitForFinished(30000) || process.readAllStandardOutput().isEmpty())
            return {};
        times << since(timer);
    }
    return times;
}

// The stages of the mode in one shell, fed one NUL-ended record per sentence: the pipeline
// itself, without the translator's escaping, threads and checks.
class RawPipeline {
public:
    bool start() {
        QProcess script;
        script.start(u"apertium-wblank-mode"_s,
                     {u"-z"_s, ApertiumEngine::defaultModesFolder() + u"/eng-spa.mode"_s});
        if (!script.waitForFinished(10000))
            return false;
        m_shell.start(u"bash"_s, {u"-c"_s, QString::fromUtf8(script.readAllStandardOutput()),
                                  u"bench"_s, u"-n"_s});
        return m_shell.waitForStarted(10000) && exchange(u"warm"_s);
    }
    bool exchange(const QString& text) {
        m_shell.write(text.toUtf8() + ".[]" + '\0');
        QByteArray answer;
        while (!answer.contains('\0') && m_shell.waitForReadyRead(30000))
            answer += m_shell.readAllStandardOutput();
        return answer.contains('\0');
    }
    ~RawPipeline() {
        m_shell.closeWriteChannel();
        m_shell.waitForFinished(10000);
    }

private:
    QProcess m_shell;
};

// The raw pipeline and the translator's warm session take turns on each sentence, so that
// both see the same load of the machine.
std::pair<QList<double>, QList<double>> rawAndWarm(Translator& translator,
                                                   const QStringList& texts) {
    RawPipeline pipeline;
    if (!pipeline.start() ||
        translator.translate(texts.first(), u"en"_s, u"es"_s, false).result().isEmpty())
        return {};
    QList<double> raw;
    QList<double> warm;
    for (const QString& text : texts) {
        QElapsedTimer timer;
        timer.start();
        if (!pipeline.exchange(text))
            return {};
        raw << since(timer);
        timer.restart();
        if (translator.translate(text, u"en"_s, u"es"_s, false).result().isEmpty())
            return {};
        warm << since(timer);
    }
    return {raw, warm};
}

// Time per sentence of each batch of 100, over several rounds of the first 200 sentences.
QList<double> batches(Translator& translator, const QStringList& texts) {
    QList<double> times;
    for (int round = 0; round < 10; ++round) {
        for (qsizetype start = 0; start + 100 <= std::min<qsizetype>(texts.size(), 200);
             start += 100) {
            QElapsedTimer timer;
            timer.start();
            const QStringList batch = texts.mid(start, 100);
            if (translator.translate(batch, u"en"_s, u"es"_s, false).result().size() != 100)
                return {};
            times << since(timer) / 100;
        }
    }
    return times;
}

// Resident and proportional memory of the processes this program started and still runs:
// the stages of the warm session.
std::pair<double, double> pipelineMemory() {
    double resident = 0;
    double proportional = 0;
    for (const pid_t pid : test::childProcesses(::getpid())) {
        QFile rollup(u"/proc/%1/smaps_rollup"_s.arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& row : rollup.readAll().split('\n')) {
            const QList<QByteArray> parts = row.simplified().split(' ');
            if (parts.size() >= 2 && parts[0] == "Rss:")
                resident += parts[1].toDouble() / 1024;
            else if (parts.size() >= 2 && parts[0] == "Pss:")
                proportional += parts[1].toDouble() / 1024;
        }
    }
    return {resident, proportional};
}

void BM_EnglishSpanishColdWarmBatch(benchmark::State& state) {
    const QStringList texts = sentences();
    if (texts.size() < 200) {
        state.SkipWithError("bench/data/sentences-en.txt has fewer than 200 sentences");
        return;
    }
    for (auto _ : state) {
        const Spread coldTimes = spread(cold(texts));
        Translator translator(std::make_shared<ApertiumEngine>());
        const auto [raw, warm] = rawAndWarm(translator, texts);
        const Spread rawTimes = spread(raw);
        const Spread warmTimes = spread(warm);
        const Spread batchTimes = spread(batches(translator, texts));
        const auto [resident, proportional] = pipelineMemory();
        if (coldTimes.median == 0 || rawTimes.median == 0 || warmTimes.median == 0 ||
            batchTimes.median == 0) {
            state.SkipWithError(
                "the eng-spa pair did not translate (is apertium-eng-spa installed?)");
            return;
        }

        std::printf("\n%lld English sentences of 5 to 20 words, English to Spanish "
                    "(milliseconds per sentence)\n",
                    static_cast<long long>(texts.size()));
        std::printf("  %-34s %10s %10s\n", "", "median", "p95");
        std::printf("  %-34s %10.2f %10.2f\n", "cold: apertium -u eng-spa", coldTimes.median,
                    coldTimes.p95);
        std::printf("  %-34s %10.2f %10.2f\n", "raw warm pipeline", rawTimes.median, rawTimes.p95);
        std::printf("  %-34s %10.2f %10.2f\n", "translator, warm session", warmTimes.median,
                    warmTimes.p95);
        std::printf("  %-34s %10.3f %10.3f\n", "translator, batches of 100", batchTimes.median,
                    batchTimes.p95);
        std::printf("  cold / warm: %.1fx (at least 20x wanted)\n",
                    coldTimes.median / warmTimes.median);
        std::printf("  warm / raw pipeline: %.2fx (at most 1.2x wanted)\n",
                    warmTimes.median / rawTimes.median);
        std::printf("  warm / batch: %.1fx\n", warmTimes.median / batchTimes.median);
        std::printf("  warm pair in memory: %.1f MB resident, %.1f MB proportional\n\n", resident,
                    proportional);

        state.counters["sentences"] = double(texts.size());
        state.counters["cold_ms"] = coldTimes.median;
        state.counters["raw_ms"] = rawTimes.median;
        state.counters["warm_ms"] = warmTimes.median;
        state.counters["warm_p95_ms"] = warmTimes.p95;
        state.counters["batch_ms"] = batchTimes.median;
        state.counters["cold_x_warm"] = coldTimes.median / warmTimes.median;
        state.counters["warm_x_raw"] = warmTimes.median / rawTimes.median;
        state.counters["rss_mb"] = resident;
    }
}
BENCHMARK(BM_EnglishSpanishColdWarmBatch)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
