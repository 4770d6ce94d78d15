// The application as a person meets it, on a private desktop: how soon its icon is in the tray
// after it is started (seen from outside), what it holds in memory when idle, and how soon the
// global shortcut shows the popover and the translation of the selection.
#include "app/AppDelegate.h"
#include "app/AppModel.h"
#include "core/Paths.h"
#include "support/TestWorld.h"
#include "support/x11/FakeXApp.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <csignal>

namespace {

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

double median(std::vector<double> samples) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

bool isViewable(XConnection& x, xcb_window_t window) {
    const XReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        x.get(), xcb_get_window_attributes(x.get(), window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

QList<xcb_window_t> children(XConnection& x, xcb_window_t parent) {
    const XReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), parent), nullptr));
    if (!tree)
        return {};
    const xcb_window_t* list = xcb_query_tree_children(tree.get());
    return QList<xcb_window_t>(list, list + xcb_query_tree_children_length(tree.get()));
}

// The tray host's own windows, where tray icons are put, wherever the window manager keeps
// them.
QList<xcb_window_t> trayWindows(XConnection& x, xcb_window_t parent) {
    QList<xcb_window_t> found;
    for (const xcb_window_t window : children(x, parent)) {
        if (x.byteProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).contains("trayer"))
            found << window;
        else
            found << trayWindows(x, window);
    }
    return found;
}

// Looks only inside the tray, so that looking costs the X server little.
bool hasTivelaIcon(XConnection& x, const QList<xcb_window_t>& parents) {
    for (const xcb_window_t parent : parents) {
        for (const xcb_window_t window : children(x, parent)) {
            if (isViewable(x, window) &&
                x.byteProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).contains("tivela"))
                return true;
            if (hasTivelaIcon(x, {window}))
                return true;
        }
    }
    return false;
}

qint64 residentKilobytes(qint64 pid) {
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// From the start of the staged program until its icon is shown in the tray host, as the
// desktop sees it; then its resident memory after two idle seconds.
void launchUntilTrayIcon(benchmark::State& state) {
    Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
    XConnection x;
    const QList<xcb_window_t> tray = trayWindows(x, x.root());
    std::vector<double> samples;
    qint64 resident = 0;
    for (auto _ : state) {
        QProcess app;
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        app.start(QString::fromLocal8Bit(qgetenv("TIVELA_STAGE")) + u"/bin/tivela"_s, {});
        while (!hasTivelaIcon(x, tray) && timer.elapsed() < 20000)
            QThread::usleep(200);
        if (timer.elapsed() >= 20000) {
            state.SkipWithError("no tray icon");
            break;
        }
        const double elapsed = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(elapsed);
        samples.push_back(elapsed * 1000);
        if (samples.size() == 1) {
            QThread::sleep(2);
            resident = residentKilobytes(app.processId());
        }
        ::kill(pid_t(app.processId()), SIGTERM);
        app.waitForFinished(10000);
        // The tray drops the icon's window when its program has gone.
        while (hasTivelaIcon(x, tray))
            QThread::msleep(5);
    }
    state.counters["median_ms"] = median(samples);
    state.counters["target_ms"] = 300;
    state.counters["idle_rss_MB"] = double(resident) / 1024;
    state.counters["rss_target_MB"] = 80;
}
BENCHMARK(launchUntilTrayIcon)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// The shortcut pressed in another program with a word selected, until the popover is on screen
// and until the model holds the word's translation. The engine is warm after the first press,
// which is reported apart.
void shortcutUntilPopoverAndTranslation(benchmark::State& state) {
    Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    AppDelegate delegate;
    bool launched = false;
    QObject::connect(&delegate, &AppDelegate::launched, [&] { launched = true; });
    delegate.didFinishLaunching();
    if (!QTest::qWaitFor([&] { return launched; }, 10000))
        return state.SkipWithError("no launch");
    QWidget* popover = delegate.popover();
    AppModel& model = delegate.model();
    FakeXApp editor;
    XConnection input;
    const QStringList words{u"dog"_s, u"cat"_s, u"house"_s, u"tree"_s};
    std::vector<double> shown;
    std::vector<double> translated;
    double cold = 0;
    int press = 0;
    popover->winId();
    for (auto _ : state) {
        const QString word = words[press++ % words.size()];
        editor.own("PRIMARY", {{"UTF8_STRING", word.toUtf8()}});
        editor.activate();
        QTest::qWait(50);
        QElapsedTimer timer;
        timer.start();
        FakeInput::shortcut(input);
        if (!QTest::qWaitFor([&] { return popover->windowHandle()->isExposed(); }, 10000)) {
            state.SkipWithError("the popover did not show");
            break;
        }
        const double exposed = double(timer.nsecsElapsed()) / 1e6;
        if (!QTest::qWaitFor(
                [&] {
                    return model.input() == word && !model.output().isEmpty() &&
                           !model.translating();
                },
                20000)) {
            state.SkipWithError("no translation");
            break;
        }
        const double done = double(timer.nsecsElapsed()) / 1e6;
        state.SetIterationTime(done / 1000);
        if (press == 1) {
            cold = done;
        } else {
            shown.push_back(exposed);
            translated.push_back(done);
        }
        delegate.closePopover();
        QTest::qWait(50);
    }
    state.counters["cold_first_ms"] = cold;
    state.counters["shown_median_ms"] = median(shown);
    state.counters["shown_target_ms"] = 50;
    state.counters["translated_median_ms"] = median(translated);
    state.counters["translated_target_ms"] = 100;
}
BENCHMARK(shortcutUntilPopoverAndTranslation)
    ->UseManualTime()
    ->Iterations(21)
    ->Unit(benchmark::kMillisecond);

} // namespace
