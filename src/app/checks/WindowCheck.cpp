#include "app/checks/WindowCheck.h"

#include "core/Paths.h"
#include "platform/x11/Activation.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantMap>
#include <QWindow>

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
        QCoro::connect(handFront(pid.toInt()), this, [] {});
    }

private:
    // The window manager drops a request now and then: asked again while the front stays
    // where it was, for a bounded time. Any change ends it, so that an older request never
    // takes the front back from a newer one.
    static QCoro::Task<> handFront(qint64 pid) {
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
            co_await WindowCheck::wait(frontAttemptMilliseconds, moved);
        }
    }

    static constexpr int frontAttempts = 5;
    static constexpr int frontAttemptMilliseconds = 400;
};

std::unique_ptr<HelperWindow>& helperWindow() {
    static std::unique_ptr<HelperWindow> window;
    return window;
}

QCoro::Task<> announceWhenShown(QWindow* window) {
    co_await WindowCheck::wait(WindowCheck::helperStartMilliseconds,
                               [window] { return window->isExposed(); });
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
}

} // namespace

QCoro::Task<> WindowCheck::wait(int milliseconds, std::function<bool()> until) {
    const int polls = milliseconds / pollMilliseconds;
    for (int poll = 0; poll < polls; ++poll) {
        if (until && until())
            co_return;
        co_await QCoro::sleepFor(std::chrono::milliseconds(pollMilliseconds));
    }
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
    QCoro::connect(announceWhenShown(window->windowHandle()), window.get(), [] {});
}

} // namespace tivela

#include "WindowCheck.moc"
