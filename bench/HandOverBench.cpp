// How long the main thread goes without turning its event loop (the longest stall, as a
// timer ticking every millisecond sees it) while a megabyte without a space arrives by each
// road other programs take: the selection with the shortcut, a URL (a second start's D-Bus
// Open), the Services' Translate and the browser's host (whose "open" runs xdg-open, here the
// staged program as a second start). Measured from the hand-over until its translation is
// shown and its history row written. Then while the History tab opens with 200 rows of 20,000
// characters. The target for each is 100 ms.
#include "app/AppDelegate.h"
#include "app/AppModel.h"
#include "core/Paths.h"
#include "core/Store.h"
#include "platform/desktop/SingleInstance.h"
#include "support/HostProcess.h"
#include "support/Samples.h"
#include "support/TestWorld.h"
#include "support/x11/FakeXApp.h"

#include <benchmark/benchmark.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

constexpr double targetMs = 100;
constexpr int settleMs = 2000;

enum Entry { selection, url, bus, bridge };
const char* const entryNames[] = {"selection", "url", "bus", "bridge"};

// The longest gap between two ticks of a one-millisecond timer on the main thread.
class StallWatch {
public:
    StallWatch() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
            if (m_done && m_done())
                m_loop.quit();
        });
    }

    struct Watched {
        // Whether `done` held before the time was up.
        bool held = false;
        double longestMs = 0;
    };

    // Runs the event loop from `start` until `done` holds or the time is up.
    Watched watch(const std::function<void()>& start, const std::function<bool()>& done,
                  int timeoutMs) {
        bool held = false;
        m_done = [&] { return (held = held || done()); };
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
        QTimer::singleShot(0, start);
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        deadline.start(timeoutMs);
        m_loop.exec();
        m_timer.stop();
        m_done = {};
        return {held, double(m_longest) / 1e6};
    }
    // Lets the loop turn for a while; the longest stall meanwhile.
    double settle(int milliseconds) {
        return watch([] {}, [] { return false; }, milliseconds).longestMs;
    }

private:
    QTimer m_timer;
    QEventLoop m_loop;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    std::function<bool()> m_done;
};

// A megabyte of one word (English words run together, as minified code or a URL's slug reads),
// each call a different one.
QString megabyteToken(int seed) {
    const QString words = u"thehouseisbigandthedogsleepsinthegarden"_s;
    QString token = QString::number(seed);
    while (token.size() < 1024 * 1024)
        token += words;
    token.truncate(1024 * 1024);
    return token;
}

// An xdg-open that hands the URL to the staged program as a second start does.
QString openerFolder() {
    const QString folder = World::root() + u"/opener"_s;
    QDir().mkpath(folder);
    QFile stub(folder + u"/xdg-open"_s);
    stub.open(QIODevice::WriteOnly);
    stub.write("#!/bin/sh\nexec \"" + stageDir().toUtf8() + "/bin/tivela\" \"$1\"\n");
    stub.close();
    stub.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

bool launch(AppDelegate& delegate, StallWatch& watch) {
    bool launched = false;
    QObject::connect(&delegate, &AppDelegate::launched, [&] { launched = true; });
    delegate.didFinishLaunching();
    return watch.watch([] {}, [&] { return launched; }, 10000).held;
}

QDBusMessage call(const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(
        Paths::bundleID(), SingleInstance::objectPath(Paths::bundleID()), interface, method);
}

void BM_LongestStallWhileAMegabyteArrives(benchmark::State& state) {
    const auto entry = Entry(state.range(0));
    state.SetLabel(entryNames[entry]);
    Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    AppDelegate delegate;
    SingleInstance instance(Paths::bundleID(), u"Tivela couldn\u2019t translate the text."_s);
    if (instance.claim() != SingleInstance::Role::primary)
        return state.SkipWithError("the bus name is taken");
    StallWatch watch;
    if (!launch(delegate, watch))
        return state.SkipWithError("no launch");
    instance.setTarget(&delegate);
    AppModel& model = delegate.model();
    delegate.popover()->winId();

    // Calls come over a connection of their own, as from another program.
    QDBusConnection caller =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"caller"_s);
    FakeXApp editor;
    XConnection input;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"PATH"_s, openerFolder() + u':' + environment.value(u"PATH"_s));
    std::unique_ptr<HostProcess> host;
    if (entry == bridge)
        host = std::make_unique<HostProcess>(HostProcess::stagedProgram(), environment);

    // Its first showing is the popover's own cost, measured elsewhere.
    delegate.showPopover();
    watch.settle(300);

    std::vector<double> stalls;
    int seed = 0;
    for (auto _ : state) {
        // As a person meets it: a short text in the box before.
        model.show(u"the house"_s);
        delegate.closePopover();
        watch.watch([] {}, [&] { return !model.translating(); }, 10000);
        const QString token = megabyteToken(++seed);
        if (entry == selection) {
            editor.own("PRIMARY", {{"UTF8_STRING", token.toUtf8()}});
            editor.activate();
        }
        const auto handOver = [&] {
            switch (entry) {
            case selection:
                FakeInput::shortcut(input);
                break;
            case url: {
                QDBusMessage open = call(u"org.freedesktop.Application"_s, u"Open"_s);
                open << QStringList{u"tivela://translate?text="_s +
                                    QString::fromLatin1(QUrl::toPercentEncoding(token))}
                     << QVariantMap();
                caller.asyncCall(open, 30000);
                break;
            }
            case bus: {
                QDBusMessage translate =
                    call(QString::fromLatin1(SingleInstance::servicesInterface), u"Translate"_s);
                translate << token;
                caller.asyncCall(translate, 30000);
                break;
            }
            case bridge:
                host->send({{u"type"_s, u"open"_s}, {u"text"_s, token}});
                break;
            }
        };
        const QString start = token.left(64);
        const StallWatch::Watched shown = watch.watch(
            handOver,
            [&] {
                return model.input().startsWith(start) && !model.translating() &&
                       (!model.output().isEmpty() || model.problem());
            },
            60000);
        if (!shown.held || model.problem()) {
            const QString why = model.problem()
                                    ? QString(u"a problem: "_s + model.problem()->message + u' ' +
                                              model.problem()->from + u'>' + model.problem()->to)
                                    : QString(u"the translation never came"_s);
            state.SkipWithError(qPrintable(why));
            break;
        }
        stalls.push_back(std::max(shown.longestMs, watch.settle(settleMs)));
        state.SetIterationTime(stalls.back() / 1000);
    }
    if (stalls.empty())
        return;
    const double longest = *std::max_element(stalls.begin(), stalls.end());
    state.counters["longest_stall_ms"] = longest;
    state.counters["median_stall_ms"] = bench::percentile(stalls, 0.5);
    state.counters["target_ms"] = targetMs;
    state.counters["of_target"] = longest / targetMs;
}
BENCHMARK(BM_LongestStallWhileAMegabyteArrives)
    ->DenseRange(selection, bridge)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_LongestStallOpeningHistory(benchmark::State& state) {
    Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
    {
        Store store(Paths::database());
        store.clearHistory();
        const QString words = u"the weather is lovely today and we walk by the sea "_s;
        for (int i = 0; i < 200; ++i) {
            const QString text = QString::number(i) + u' ' + words.repeated(20000 / words.size());
            store.addHistory(Item{u"row-"_s + QString::number(i), text, text.toUpper(), u"en"_s,
                                  u"es"_s, 1'700'000'000.0 + i, 0, 0, Item::appOrigin});
        }
    }
    AppDelegate delegate;
    StallWatch watch;
    if (!launch(delegate, watch))
        return state.SkipWithError("no launch");
    AppModel& model = delegate.model();
    model.reloadHistory();
    if (model.history().size() != 200)
        return state.SkipWithError("the history did not load");
    delegate.showPopover();
    watch.settle(300);

    std::vector<double> stalls;
    for (auto _ : state) {
        stalls.push_back(
            watch.watch([&] { model.setTab(Tab::history); }, [] { return false; }, 400).longestMs);
        state.SetIterationTime(stalls.back() / 1000);
        model.setTab(Tab::translate);
        watch.settle(200);
    }
    const double longest = *std::max_element(stalls.begin(), stalls.end());
    state.counters["rows"] = 200;
    state.counters["longest_stall_ms"] = longest;
    state.counters["median_stall_ms"] = bench::percentile(stalls, 0.5);
    state.counters["target_ms"] = targetMs;
    state.counters["of_target"] = longest / targetMs;
}
BENCHMARK(BM_LongestStallOpeningHistory)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

} // namespace
