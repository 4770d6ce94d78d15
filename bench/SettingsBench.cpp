// The settings window and its data: the browsers' host manifests written again for nine
// browsers when nothing changed (each one only read and compared), and a refresh of the settings
// model with twenty installed packs and nine connected browsers, each against 1 ms. The window
// offscreen with 40 engine languages and 32 pack rows, 20 of them installed: opened for the
// first time (built, refreshed, shown and painted) against 100 ms, and opened again against
// 20 ms.
#include "app/BrowserIntegration.h"
#include "app/views/SettingsModel.h"
#include "app/views/SettingsView.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "platform/Defaults.h"
#include "support/Samples.h"
#include "support/ViewRig.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;

constexpr double referenceMilliseconds = 1;
constexpr double firstOpenReference = 100;
constexpr double reopenReference = 20;
constexpr int installedPacks = 20;
constexpr int engineLanguages = 40;

struct Setup {
    Setup() {
        QDir().mkpath(bundle.filePath(u"libexec"_s));
        QFile host(bundle.filePath(u"libexec/tivela-bridge"_s));
        host.open(QIODevice::WriteOnly);
        host.write("#!/bin/sh\n");
        host.close();
        host.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        for (const BrowserIntegration::Browser& browser : BrowserIntegration::browsers())
            QDir().mkpath(config.filePath(browser.folder));
    }
    BrowserIntegration browsers() const { return BrowserIntegration(config.path(), bundle.path()); }

    QTemporaryDir config;
    QTemporaryDir bundle;
};

template <typename Body>
double milliseconds(Body&& body) {
    const auto start = bench::Clock::now();
    body();
    return bench::millisecondsSince(start);
}

void BM_InstallUnchanged(benchmark::State& state) {
    Setup setup;
    const BrowserIntegration browsers = setup.browsers();
    const double first = milliseconds([&] { browsers.install(); });
    const QString sample = browsers.manifestPath(BrowserIntegration::browsers().first());
    const QDateTime written = QFileInfo(sample).lastModified();

    std::vector<double> samples;
    qsizetype served = 0;
    for (auto _ : state)
        samples.push_back(milliseconds([&] { served = browsers.install().size(); }));
    const double second = bench::percentile(samples, 0.5);
    state.counters["browsers"] = double(served);
    state.counters["rewritten"] = QFileInfo(sample).lastModified() != written;
    state.counters["first_ms"] = first;
    state.counters["median_ms"] = second;
    state.counters["of_first"] = second / first;
    state.counters["of_reference"] = second / referenceMilliseconds;
}
BENCHMARK(BM_InstallUnchanged)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void installPacks(const Lexicon& lexicon) {
    const QSet<QString>& languages = Languages::lexicon();
    const QStringList codes = Languages::sorted({languages.begin(), languages.end()});
    for (const QString& code : codes.first(std::min<qsizetype>(installedPacks, codes.size()))) {
        QFile pack(lexicon.packPath(code));
        QDir().mkpath(QFileInfo(pack).path());
        pack.open(QIODevice::WriteOnly);
        pack.write("pack");
    }
}

SettingsServices services(Setup& setup, LexiconDownloader& downloader, Translator& translator) {
    SettingsServices services;
    services.downloader = &downloader;
    services.translator = &translator;
    services.browsers = [&setup] { return setup.browsers(); };
    services.loginItemStatus = [] { return 1; };
    services.setLoginItem = [](bool) {};
    services.trusted = [] { return true; };
    return services;
}

void BM_Refresh(benchmark::State& state) {
    Setup setup;
    setup.browsers().install();
    QTemporaryDir packs;
    Lexicon lexicon(packs.path());
    installPacks(lexicon);
    LexiconDownloader downloader(lexicon, std::nullopt);
    Translator translator(Defaults::engine());
    SettingsModel model(services(setup, downloader, translator));

    std::vector<double> samples;
    for (auto _ : state)
        samples.push_back(milliseconds([&] { model.refresh(); }));
    const double refresh = bench::percentile(samples, 0.5);
    state.counters["packs"] = double(model.installedPacks().size());
    state.counters["browsers"] = double(model.connectedBrowsers().size());
    state.counters["median_ms"] = refresh;
    state.counters["of_reference"] = refresh / referenceMilliseconds;
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// Shows the window and paints all of it at once, as the first frame on the screen.
void showAndPaint(SettingsView& view) {
    view.show();
    QApplication::processEvents();
    view.repaint();
}

void BM_OpenSettingsWindow(benchmark::State& state) {
    Setup setup;
    setup.browsers().install();
    test::ViewRig rig;
    // The popular languages, then more of those Apertium has, to the engine's count.
    QStringList languages = Languages::popularity();
    for (const QString& code : {u"ca"_s, u"gl"_s, u"eu"_s, u"eo"_s, u"is"_s, u"mk"_s, u"sr"_s,
                                u"hr"_s, u"sl"_s, u"sk"_s, u"cs"_s, u"ro"_s, u"el"_s, u"he"_s})
        if (!languages.contains(code))
            languages << code;
    rig.engine->setLanguages(
        languages.first(std::min<qsizetype>(engineLanguages, languages.size())));
    AppModel& model = rig.make();
    installPacks(rig.lexicon);
    LexiconDownloader downloader(rig.lexicon, QUrl(u"http://127.0.0.1:9/packs/"_s));
    SettingsModel settings(services(setup, downloader, rig.translator));

    std::vector<double> first;
    std::vector<double> again;
    qsizetype pickerItems = 0;
    for (auto _ : state) {
        std::unique_ptr<SettingsView> view;
        first.push_back(milliseconds([&] {
            view = std::make_unique<SettingsView>(model, settings, nullptr, rig.services,
                                                  u"1.0 (1)"_s);
            showAndPaint(*view);
        }));
        pickerItems = view->minePicker()->count();
        for (int i = 0; i < 5; ++i) {
            view->hide();
            QApplication::processEvents();
            again.push_back(milliseconds([&] { showAndPaint(*view); }));
        }
    }
    const double firstOpen = bench::percentile(first, 0.5);
    const double reopen = bench::percentile(again, 0.5);
    state.counters["languages"] = double(pickerItems);
    state.counters["pack_rows"] = double(Languages::lexicon().size());
    state.counters["packs"] = double(settings.installedPacks().size());
    state.counters["browsers"] = double(settings.connectedBrowsers().size());
    state.counters["first_ms"] = firstOpen;
    state.counters["again_ms"] = reopen;
    state.counters["of_reference"] =
        std::max(firstOpen / firstOpenReference, reopen / reopenReference);
}
BENCHMARK(BM_OpenSettingsWindow)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
