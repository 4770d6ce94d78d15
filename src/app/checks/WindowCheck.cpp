#include "app/checks/WindowCheck.h"

#include "app/AppDelegate.h"
#include "app/AppModel.h"
#include "app/checks/CheckModes.h"
#include "app/checks/CheckReport.h"
#include "app/checks/CheckShell.h"
#include "core/Paths.h"
#include "platform/x11/Activation.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantMap>
#include <QWindow>

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace tivela {
namespace {

const QString& requestPath() {
    static const QString path = u"/dev/quorvanta/Tivela/check"_s;
    return path;
}

QString requestInterface() {
    return Paths::bundleID() + u".check"_s;
}

// The helper's one window; it carries out the requests addressed to its process.
class HelperWindow : public QWidget {
    Q_OBJECT

public:
    HelperWindow() {
        setWindowTitle(u"Tivela check helper"_s);
        setAttribute(Qt::WA_ShowWithoutActivating);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(u"Tivela check helper"_s, this));
        resize(240, 60);
    }

    bool listen() {
        return QDBusConnection::sessionBus().connect(
            QString(), requestPath(), requestInterface(), u"activate"_s,
            {QString::number(QCoreApplication::applicationPid())}, u"sa{sv}"_s, this,
            SLOT(activate(QString, QVariantMap)));
    }

public Q_SLOTS:
    void activate(const QString& target, const QVariantMap& request) {
        // The bus matched the address already; a sender that matches loosely is still not ours.
        if (target != QString::number(QCoreApplication::applicationPid()))
            return;
        const QVariant pid = request.value(u"pid"_s);
        if (pid.metaType().id() != QMetaType::Int || pid.toInt() <= 0)
            return;
        QCoro::connect(WindowCheck::handFront(pid.toInt()), this, [] {});
    }
};

std::unique_ptr<HelperWindow>& helperWindow() {
    static std::unique_ptr<HelperWindow> window;
    return window;
}

// The match rule goes to the bus without a reply; the bus handles one connection's messages
// in order, so the answer to a later call means the rule is in place.
QCoro::Task<bool> busHasTheMatch() {
    const QDBusMessage ping =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus.Peer"_s, u"Ping"_s);
    QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(ping));
    if (!watcher.isFinished())
        co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished,
                       std::chrono::milliseconds(WindowCheck::helperStartMilliseconds));
    co_return watcher.isFinished() && !watcher.isError();
}

// "ready" only when a request sent now is heard and a front handed to the window is taken;
// a helper that cannot say so leaves its caller to give up on it.
QCoro::Task<> announceWhenReady(QWindow* window) {
    if (!co_await busHasTheMatch())
        co_return;
    co_await WindowCheck::wait(WindowCheck::helperStartMilliseconds,
                               [window] { return window->isExposed(); });
    if (!window->isExposed())
        co_return;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
}

// The shell builds its popover a turn of the loop after its launch.
constexpr int startMilliseconds = 800;

std::unique_ptr<CheckShell>& windowShell() {
    static std::unique_ptr<CheckShell> shell;
    return shell;
}

QCoro::Task<> runAndExit(QString reportPath,
                         std::optional<Activation::FrontApplication> previousFront) {
    QElapsedTimer clock;
    clock.start();
    CheckShell& shell = *windowShell();
    CheckReport report;
    if (co_await shell.launch(startMilliseconds))
        co_await WindowCheck::steps(shell.delegate(), report, previousFront,
                                    QCoreApplication::applicationFilePath());
    else
        report.check(u"window opens"_s, false, u"the shell did not start"_s);
    WindowCheck::printTimes("check-window", clock.elapsed());
    QCoreApplication::exit(report.write(reportPath));
}

} // namespace

QCoro::Task<> WindowCheck::wait(int milliseconds, std::function<bool()> until) {
    const int polls = milliseconds / pollMilliseconds;
    QElapsedTimer clock;
    clock.start();
    for (int poll = 0; poll < polls; ++poll) {
        if (until && until())
            co_return;
        co_await QCoro::sleepFor(std::chrono::milliseconds(pollMilliseconds));
    }
    WaitTally& tally = waitTally();
    if (!until) {
        tally.pauseMilliseconds += clock.elapsed();
    } else if (polls > 0) {
        tally.atBoundMilliseconds += clock.elapsed();
        ++tally.atBound;
    }
}

bool WindowCheck::isActive() {
    return QGuiApplication::applicationState() == Qt::ApplicationActive;
}

QString WindowCheck::frontName(const std::optional<Activation::FrontApplication>& front) {
    return front && !front->name.isEmpty() ? front->name : u"?"_s;
}

QString WindowCheck::frontName() {
    return frontName(Activation::frontmost());
}

QCoro::Task<> WindowCheck::handFront(qint64 pid) {
    const auto front = Activation::frontmost();
    if (front && front->pid == pid)
        co_return;
    const quint32 before = front ? front->window : 0;
    const auto moved = [before] {
        const auto now = Activation::frontmost();
        return (now ? now->window : 0) != before;
    };
    for (int attempt = 0; attempt < frontAttempts && !moved(); ++attempt) {
        if (!Activation::activateProcess(pid))
            co_return;
        co_await wait(frontAttemptMilliseconds, moved);
    }
}

QCoro::Task<> WindowCheck::bringForward(QWidget* window) {
    const QPointer<QWidget> target = window;
    const auto arrived = [target] {
        return !target || !target->isVisible() || QApplication::activeWindow() == target;
    };
    for (int attempt = 0; attempt < frontAttempts && !arrived(); ++attempt) {
        target->raise();
        target->activateWindow();
        Activation::requestFront(target->windowHandle());
        co_await wait(frontAttemptMilliseconds, arrived);
    }
}

WindowCheck::WaitTally& WindowCheck::waitTally() {
    static WaitTally tally;
    return tally;
}

void WindowCheck::printTimes(const char* mode, qint64 wallMilliseconds) {
    const WaitTally& tally = waitTally();
    std::fprintf(stderr, "%s: wall %lld ms, waits at their bound %lld ms (%d), pauses %lld ms\n",
                 mode, wallMilliseconds, tally.atBoundMilliseconds, tally.atBound,
                 tally.pauseMilliseconds);
}

QCoro::Task<std::unique_ptr<QProcess>> WindowCheck::launchHelper(QString program) {
    auto helper = std::make_unique<QProcess>();
    helper->setProgram(program);
    helper->setArguments({u"--check-helper"_s});
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper->start();
    QByteArray said;
    const auto heard = [&] {
        said += helper->readAllStandardOutput();
        return said.contains("ready\n") || helper->state() == QProcess::NotRunning;
    };
    co_await wait(helperStartMilliseconds, heard);
    if (heard() && helper->state() == QProcess::Running)
        co_return helper;
    co_await endHelper(std::move(helper));
    co_return std::unique_ptr<QProcess>();
}

void WindowCheck::ask(const QProcess& helper, qint64 pid) {
    QDBusMessage request =
        QDBusMessage::createSignal(requestPath(), requestInterface(), u"activate"_s);
    request << QString::number(helper.processId()) << QVariantMap{{u"pid"_s, int(pid)}};
    QDBusConnection::sessionBus().send(request);
}

QCoro::Task<> WindowCheck::endHelper(std::unique_ptr<QProcess> helper) {
    if (!helper)
        co_return;
    if (helper->state() != QProcess::NotRunning) {
        helper->terminate();
        co_await wait(1000, [&] { return helper->state() == QProcess::NotRunning; });
    }
    // QProcess kills what is left and reaps it.
}

void WindowCheck::run(const QString& reportPath,
                      std::optional<Activation::FrontApplication> previousFront,
                      const CheckDesktop& desktop) {
    if (!desktop.error.isEmpty()) {
        CheckReport report;
        report.check(u"another app to switch to"_s, false,
                     QString(u"could not start the helper: "_s + desktop.error));
        const int status = report.write(reportPath);
        QTimer::singleShot(0, qApp, [status] { QCoreApplication::exit(status); });
        return;
    }
    windowShell() = std::make_unique<CheckShell>();
    // Widgets go before the application object.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { windowShell().reset(); });
    QTimer::singleShot(0, qApp, [reportPath, previousFront] {
        QCoro::connect(runAndExit(reportPath, previousFront), qApp, [] {});
    });
}

QCoro::Task<> WindowCheck::steps(AppDelegate& delegate, CheckReport& report,
                                 std::optional<Activation::FrontApplication> previousFront,
                                 QString helperProgram) {
    std::unique_ptr<QProcess> helper = co_await launchHelper(helperProgram);
    if (!helper) {
        report.check(u"another app to switch to"_s, false, u"could not start the helper"_s);
        co_return;
    }
    const qint64 helperPid = helper->processId();
    const qint64 ownPid = QCoreApplication::applicationPid();
    const QString text = QString::fromUtf16(testText);
    AppModel& model = delegate.model();
    const auto shown = [&delegate] { return delegate.isPopoverShown(); };
    const auto hidden = [&delegate] { return !delegate.isPopoverShown(); };

    delegate.showPopover();
    co_await wait(1500, shown);
    report.check(u"window opens"_s, shown(), QString());

    model.setInput(text);
    co_await wait(300);

    co_await handFront(helperPid);
    co_await wait(3000, hidden);
    const auto front = Activation::frontmost();
    report.check(u"switching to another app closes the window"_s, hidden(),
                 front && front->pid == helperPid ? u"the other app is in front"_s
                                                  : u"in front: "_s + frontName(front));

    ask(*helper, ownPid);
    co_await wait(2000, isActive);
    delegate.showPopover();
    co_await wait(1500, shown);
    report.check(u"reopened, the text is still there"_s, shown() && model.input() == text,
                 model.input());

    QWidget* popover = delegate.popover();
    if (popover && popover->isVisible() && popover->windowHandle()) {
        co_await bringForward(popover);
        // Keys go where the keyboard is, as a person's would; without a focus window, nowhere.
        if (QWindow* focus = QGuiApplication::focusWindow())
            QTest::keyClick(focus, Qt::Key_Escape);
        co_await wait(2000, hidden);
        report.check(u"Esc closes the window"_s, hidden(), QString());
    } else {
        report.check(u"Esc closes the window"_s, false, u"window not found"_s);
    }

    model.setPinned(true);
    delegate.showPopover();
    co_await wait(1500, shown);
    // The front moves away from the popover only once the popover has it.
    if (QWidget* pinned = delegate.popover(); pinned && shown())
        co_await bringForward(pinned);
    co_await handFront(helperPid);
    co_await wait(1500);
    // Open while nothing else took the front proves nothing.
    const auto pinnedFront = Activation::frontmost();
    report.check(u"pinned, it stays open when another app is in front"_s,
                 shown() && pinnedFront && pinnedFront->pid == helperPid, frontName(pinnedFront));

    model.setPinned(false);
    delegate.closePopover();
    if (previousFront && previousFront->pid != ownPid) {
        ask(*helper, previousFront->pid);
        co_await wait(800);
    }
    co_await endHelper(std::move(helper));
}

void WindowCheck::helper() {
    // Ends with its caller, even one killed outright; a caller gone already is not waited for.
    const pid_t caller = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (caller == 1 || ::getppid() != caller) {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        return;
    }
    QTimer::singleShot(std::chrono::seconds(helperLifeSeconds), [] { QCoreApplication::exit(0); });
    auto& window = helperWindow();
    window = std::make_unique<HelperWindow>();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { helperWindow().reset(); });
    if (!window->listen()) {
        std::fprintf(stderr, "tivela: the check helper cannot hear the session bus\n");
        QTimer::singleShot(0, [] { QCoreApplication::exit(1); });
        return;
    }
    window->show();
    QCoro::connect(announceWhenReady(window->windowHandle()), window.get(), [] {});
}

} // namespace tivela

#include "WindowCheck.moc"
