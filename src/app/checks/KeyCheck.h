#pragma once

#include "app/checks/CheckReport.h"
#include "platform/x11/Activation.h"

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>

#include <QCoro/QCoroTask>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class QMenu;
class QWidget;

namespace tivela {

class AppDelegate;
class CheckShell;
struct CheckDesktop;

// The keyboard check: one run of scripted key presses and clicks in our own windows, its
// records, and a watchdog that ends a run that hangs. The script records on the main thread;
// the watchdog, on a thread of its own because the main thread may be the one that is stuck,
// reads the records under the same lock. Whichever of the two ends the run first claims it,
// and the other does nothing.
class KeyCheck {
public:
    // The application notes a Quit while the check tests it, instead of ending.
    static inline bool catchQuit = false;
    static inline bool quitAsked = false;

    static constexpr std::chrono::seconds watchdogBound{150};
    static constexpr int stoppedStatus = 2;

    // What the watchdog does after writing its report, with system calls alone: end what the
    // run started and release what it holds, then leave without running exit handlers.
    struct Stop {
        std::function<void()> cleanUp;
        std::function<void(int status)> exit;
    };

    // Arms the watchdog: after the bound, unless finish() came first, it writes the records so
    // far and "finished in time" (failed) to the report and stops the process.
    KeyCheck(QString reportPath, std::chrono::milliseconds bound, Stop stop);
    // Disarms the watchdog and waits for its thread.
    ~KeyCheck();
    KeyCheck(const KeyCheck&) = delete;
    KeyCheck& operator=(const KeyCheck&) = delete;

    void check(const QString& name, bool ok, const QString& detail);
    QList<CheckResult> results() const;
    // On the main thread once the script is done: the report written with the extra keys and
    // its status, or nothing when the watchdog has ended the run already.
    std::optional<int> finish(const QJsonObject& extra = {});

    // The --check-keys mode, on the desktop the entry point prepared: its report written to
    // the path, and the process ended with its status.
    static void run(const QString& reportPath,
                    std::optional<Activation::FrontApplication> previousFront,
                    const CheckDesktop& desktop);
    // The script, on a launched shell.
    static QCoro::Task<> steps(KeyCheck& run, CheckShell& shell,
                               std::optional<Activation::FrontApplication> previousFront);
    // The last record: whether the clipboard the run used was a display of its own.
    static void closingCheck(KeyCheck& run, const CheckDesktop& desktop);

    // The widget and all its descendants, parents before their children; none for none.
    static QList<QWidget*> views(QWidget* view);
    // The first shown widget other than `except` whose text can be selected and copied by
    // keys (a label with selectable text, a read-only editor), not a line edit, button or list.
    static QWidget* selectableView(const QList<QWidget*>& views, const QWidget* except);
    // The first shown line edit that takes typing.
    static QWidget* editableField(const QList<QWidget*>& views);
    // The first top-level window with exactly this title.
    static QWidget* windowByTitle(const QString& title);
    // The editing commands of a context menu: "edit-cut", "edit-copy", "edit-paste", ... by
    // the items' names, or, for items without one, by the key after the tab in their text.
    static QSet<QString> menuActions(const QMenu& menu);

private:
    void watch();
    bool claim() { return !m_claimed.exchange(true); }

    const QString m_reportPath;
    const std::chrono::milliseconds m_bound;
    const Stop m_stop;
    mutable std::mutex m_mutex;
    CheckReport m_records;
    bool m_disarmed = false;
    std::condition_variable m_disarm;
    std::atomic<bool> m_claimed{false};
    std::thread m_watchdog;
};

} // namespace tivela
