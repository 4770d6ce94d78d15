#include "app/checks/KeyCheck.h"

#include "app/AppDelegate.h"
#include "app/checks/CheckModes.h"
#include "app/checks/CheckShell.h"
#include "core/LexiconDownloader.h"
#include "platform/x11/PrivateDesktop.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTimer>

#include <csignal>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// The checks' pair: English is mine, Spanish the other.
const LanguagePair& checkPair() {
    static const LanguagePair pair{u"en"_s, u"es"_s};
    return pair;
}

// Read by the watchdog's thread: what to end with system calls alone.
std::atomic<pid_t> helperProcess{0};

struct KeyRun {
    std::unique_ptr<KeyCheck> run;
    std::unique_ptr<CheckShell> shell;
};

KeyRun& keyRun() {
    static KeyRun state;
    return state;
}

} // namespace

KeyCheck::KeyCheck(QString reportPath, std::chrono::milliseconds bound, Stop stop)
    : m_reportPath(std::move(reportPath))
    , m_bound(bound)
    , m_stop(std::move(stop))
    , m_watchdog([this] { watch(); }) {
}

KeyCheck::~KeyCheck() {
    {
        const std::lock_guard lock(m_mutex);
        m_disarmed = true;
    }
    m_disarm.notify_all();
    m_watchdog.join();
}

void KeyCheck::check(const QString& name, bool ok, const QString& detail) {
    const std::lock_guard lock(m_mutex);
    m_records.check(name, ok, detail);
}

QList<CheckResult> KeyCheck::results() const {
    const std::lock_guard lock(m_mutex);
    return m_records.results();
}

std::optional<int> KeyCheck::finish(const QJsonObject& extra) {
    if (!claim())
        return std::nullopt;
    int status = 0;
    {
        const std::lock_guard lock(m_mutex);
        status = m_records.write(m_reportPath, extra);
        m_disarmed = true;
    }
    m_disarm.notify_all();
    return status;
}

void KeyCheck::watch() {
    std::unique_lock lock(m_mutex);
    if (m_disarm.wait_for(lock, m_bound, [this] { return m_disarmed; }))
        return;
    if (!claim())
        return;
    CheckReport records = m_records;
    lock.unlock();
    records.check(u"finished in time"_s, false,
                  u"stopped by the watchdog after %1 s"_s.arg(
                      std::chrono::duration_cast<std::chrono::seconds>(m_bound).count()));
    // A run cut short passed nothing.
    QJsonObject report = records.toJson();
    report.insert(u"passed"_s, 0);
    QSaveFile file(m_reportPath);
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(report).toJson(QJsonDocument::Indented));
    file.commit();
    if (m_stop.cleanUp)
        m_stop.cleanUp();
    if (m_stop.exit)
        m_stop.exit(stoppedStatus);
}

void KeyCheck::closingCheck(KeyCheck& run, const CheckDesktop& desktop) {
    const QString persons = desktop.personsDisplay.isEmpty() ? u"none"_s : desktop.personsDisplay;
    if (!desktop.error.isEmpty()) {
        run.check(u"the app's clipboard was a private one (the person's untouched)"_s, false,
                  desktop.error);
        return;
    }
    run.check(u"the app's clipboard was a private one (the person's untouched)"_s,
              desktop.isPrivate,
              (desktop.isPrivate ? u"private display "_s : u"the person's display "_s) +
                  desktop.display + u" (the person's: "_s + persons + u')');
}

QCoro::Task<> KeyCheck::steps(KeyCheck&, CheckShell&, std::optional<Activation::FrontApplication>) {
    co_return;
}

void KeyCheck::run(const QString& reportPath,
                   std::optional<Activation::FrontApplication> previousFront,
                   const CheckDesktop& desktop) {
    std::vector<pid_t> desktopProcesses =
        desktop.own ? desktop.own->processes() : std::vector<pid_t>();
    KeyRun& state = keyRun();
    state.run = std::make_unique<KeyCheck>(reportPath, watchdogBound,
                                           Stop{[desktopProcesses] {
                                                    if (const pid_t helper = helperProcess.load();
                                                        helper > 0)
                                                        ::kill(helper, SIGTERM);
                                                    for (const pid_t pid : desktopProcesses)
                                                        ::kill(pid, SIGTERM);
                                                    LexiconDownloader::releaseHeldLocks();
                                                },
                                                [](int status) { ::_exit(status); }});
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
        keyRun().shell.reset();
        keyRun().run.reset();
    });
    if (!desktop.error.isEmpty()) {
        closingCheck(*state.run, desktop);
        const int status = state.run->finish().value_or(stoppedStatus);
        QTimer::singleShot(0, qApp, [status] { QCoreApplication::exit(status); });
        return;
    }
    state.shell = std::make_unique<CheckShell>(checkPair());
    QTimer::singleShot(0, qApp, [previousFront, &desktop] {
        QCoro::connect(
            [](std::optional<Activation::FrontApplication> previousFront,
               const CheckDesktop& desktop) -> QCoro::Task<> {
                KeyRun& state = keyRun();
                if (co_await state.shell->launch(800))
                    co_await steps(*state.run, *state.shell, previousFront);
                closingCheck(*state.run, desktop);
                // Lost to the watchdog: it ends the process.
                if (const auto status =
                        state.run->finish({{u"app"_s, AppDelegate::versionString()}}))
                    QCoreApplication::exit(*status);
            }(previousFront, desktop),
            qApp, [] {});
    });
}

} // namespace tivela
