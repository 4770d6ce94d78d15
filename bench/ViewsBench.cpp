// The popover's views as the user meets them, offscreen with real text layout and painting.
// The history tab (420 x 600) over a full history of 500 rows in a real store: a keystroke in
// its search until the list is filled again and painted into an image; reference 16 ms for the
// median and 30 ms for the 95th percentile. The word card for a word with 8 senses, all with
// examples, and 4 parts of speech of 8 translations each: built, laid out and painted as it
// first shows (3 senses), reference 16 ms; its gloss translations arriving all at once, laid
// out and painted again, at most half a build (and the same without painting, since painting
// the whole card is most of a build); and Show All, for the record.
#include "app/AppModel.h"
#include "app/views/DictionaryCard.h"
#include "app/views/HistoryView.h"
#include "app/views/SearchField.h"
#include "app/views/Theme.h"
#include "app/views/ViewServices.h"
#include "core/Lexicon.h"
#include "core/Store.h"

#include "support/Prose.h"
#include "support/Samples.h"

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;
using bench::Clock;
using bench::percentile;

constexpr double medianReferenceMs = 16;
constexpr double p95ReferenceMs = 30;
constexpr int cardWidth = 396;

// Words of the prose from a position: texts of one to five dozen words, some of two lines.
QString words(int from, int count) {
    static const QStringList all = bench::prose(20000).split(u' ', Qt::SkipEmptyParts);
    return all.mid(from % (all.size() - count), count).join(u' ').simplified();
}

void paint(QWidget& widget, QImage& image) {
    QCoreApplication::processEvents();
    image.fill(Qt::white);
    widget.render(&image);
}

void BM_HistorySearchKeystroke(benchmark::State& state) {
    QTemporaryDir dir;
    Store store(dir.filePath(u"tivela.sqlite"_s));
    for (int i = 0; i < Store::historyLimit; ++i) {
        const QString text = words(i * 7, 2 + (i * 13) % 40);
        store.addHistory(Item{u"row-%1"_s.arg(i), text, u"t: "_s + words(i * 11, 3 + i % 30),
                              u"en"_s, u"es"_s, Store::now() - i * 600.0, 0, 0,
                              i % 5 ? u"mac"_s : u"browser"_s});
    }
    Lexicon lexicon(dir.filePath(u"Lexicon"_s));
    AppModel model(store, lexicon);
    HistoryView view(model);
    view.resize(420, 600);
    view.show();
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    paint(view, image);
    QLineEdit* editor = view.search()->editor();

    // Typing "the" and taking it back, over and over: every keystroke lists the rows again.
    const QList<std::pair<Qt::Key, QString>> keys{{Qt::Key_T, u"t"_s},
                                                  {Qt::Key_H, u"h"_s},
                                                  {Qt::Key_E, u"e"_s},
                                                  {Qt::Key_Backspace, QString()},
                                                  {Qt::Key_Backspace, QString()},
                                                  {Qt::Key_Backspace, QString()}};
    std::vector<double> times;
    qsizetype rows = 0;
    qsizetype key = 0;
    for (auto _ : state) {
        const auto& [code, text] = keys[key++ % keys.size()];
        const auto start = Clock::now();
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
        QCoreApplication::sendEvent(editor, &press);
        paint(view, image);
        times.push_back(bench::millisecondsSince(start));
        rows += model.history().size();
    }
    const double median = percentile(times, 0.5);
    const double p95 = percentile(times, 0.95);
    state.counters["rows_listed"] = double(rows) / double(times.size());
    state.counters["median_ms"] = median;
    state.counters["p95_ms"] = p95;
    state.counters["median_of_ref"] = median / medianReferenceMs;
    state.counters["p95_of_ref"] = p95 / p95ReferenceMs;
}
BENCHMARK(BM_HistorySearchKeystroke)->Unit(benchmark::kMillisecond)->Iterations(200);

DictionaryEntry richEntry() {
    DictionaryEntry entry{u"run"_s,     std::nullopt, u"en"_s, u"es"_s, u"/\u0279\u028Cn/"_s,
                          std::nullopt, {},           {}};
    for (const QString& pos : {u"verb"_s, u"noun"_s, u"adjective"_s, u"adverb"_s}) {
        DictionaryEntry::Group group{pos, {}};
        for (int i = 0; i < 8; ++i)
            group.terms << DictionaryEntry::Term{words(i * 3 + pos.size(), 1 + i % 3), std::nullopt,
                                                 words(i * 5, 2)};
        entry.groups << group;
    }
    for (int i = 0; i < 8; ++i)
        entry.meanings << DictionaryEntry::Meaning{u"verb"_s, words(i * 17, 8 + i * 2),
                                                   words(i * 23, 10), std::nullopt, std::nullopt};
    return entry;
}

void BM_WordCard(benchmark::State& state) {
    QTemporaryDir dir;
    Store store(dir.filePath(u"tivela.sqlite"_s));
    Lexicon lexicon(dir.filePath(u"Lexicon"_s));
    AppModel model(store, lexicon);
    ViewServices services;
    services.hints = [] { return QStringList{u"es"_s, u"en"_s}; };
    const DictionaryEntry entry = richEntry();
    QHash<QString, QString> glosses;
    for (const DictionaryEntry::Meaning& meaning : entry.meanings) {
        glosses.insert(meaning.gloss, u"es: "_s + meaning.gloss);
        glosses.insert(*meaning.example, u"es: "_s + *meaning.example);
    }
    QImage image(cardWidth, 1600, QImage::Format_ARGB32_Premultiplied);

    std::vector<double> builds;
    std::vector<double> arrivals;
    std::vector<double> relayouts;
    std::vector<double> expansions;
    double height = 0;
    for (auto _ : state) {
        model.setGlosses({});
        auto start = Clock::now();
        auto card = std::make_unique<DictionaryCard>(entry, model, services);
        card->resize(cardWidth, card->heightForWidth(cardWidth));
        paint(*card, image);
        builds.push_back(bench::millisecondsSince(start));

        start = Clock::now();
        model.setGlosses(glosses);
        card->resize(cardWidth, card->heightForWidth(cardWidth));
        relayouts.push_back(bench::millisecondsSince(start));
        paint(*card, image);
        arrivals.push_back(bench::millisecondsSince(start));

        start = Clock::now();
        card->showAllButton()->click();
        card->resize(cardWidth, card->heightForWidth(cardWidth));
        paint(*card, image);
        expansions.push_back(bench::millisecondsSince(start));
        height = card->height();
        card.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    const double build = percentile(builds, 0.5);
    const double arrival = percentile(arrivals, 0.5);
    state.counters["build_ms"] = build;
    state.counters["build_of_ref"] = build / medianReferenceMs;
    state.counters["glosses_ms"] = arrival;
    state.counters["glosses_of_build"] = arrival / build;
    state.counters["relayout_of_build"] = percentile(relayouts, 0.5) / build;
    state.counters["show_all_ms"] = percentile(expansions, 0.5);
    state.counters["expanded_height"] = height;
}
BENCHMARK(BM_WordCard)->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace
