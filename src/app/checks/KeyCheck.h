#pragma once

#include "app/Tab.h"
#include "app/checks/CheckReport.h"
#include "app/checks/PersonsClipboard.h"
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
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/types.h>

class QMenu;
class QPlainTextEdit;
class QProcess;
class QWidget;

namespace tivela {

class AppDelegate;
class AppModel;
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

    class Script;
    // The shell builds its popover a turn of the loop after its launch.
    static constexpr int launchMilliseconds = 800;
    // The driver: the shell launched within the bound, then the script's groups of checks in
    // order, with helperProgram started as the other program (none: no other program). A
    // shell that does not launch is a failed record, and the script does not run.
    static QCoro::Task<> steps(KeyCheck& run, CheckShell& shell, int launchBound,
                               std::optional<Activation::FrontApplication> previousFront,
                               QString helperProgram);

    // What the person's clipboard was before and after the run, and the texts the run had in
    // its own clipboard and selection.
    struct Clipboards {
        std::optional<PersonsClipboard> before;
        std::optional<PersonsClipboard> after;
        QSet<QString> runTexts;
    };
    // The last record: the run's clipboard was a display of its own, and no text of the run
    // reached the person's clipboard or selection; another program copying meanwhile is told
    // and does not fail it.
    static CheckResult closingCheck(const CheckDesktop& desktop, const Clipboards& clipboards);

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

    // The helper the script started, which the watchdog's thread ends with system calls alone.
    static inline std::atomic<pid_t> helperProcess{0};

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

// The keyboard check's script: one coroutine for each group of checks, which the driver runs in
// order, and what they share. Keys and clicks go through Qt's own input path into the window
// that has the keyboard, as a person's would.
class KeyCheck::Script {
public:
    Script(KeyCheck& run, CheckShell& shell,
           std::optional<Activation::FrontApplication> previousFront, QString helperProgram);
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // What kind of application this is; then another program in front, and the shortcut's
    // road into the input. False when no input came: the script ends there.
    QCoro::Task<bool> start();
    // The editing keys in the input.
    QCoro::Task<> editing();
    QCoro::Task<> pasteButton();
    // Return, the translation's keys, Tab, and the input's right-click menu.
    QCoro::Task<> focus();
    // The search fields of the History and Phrasebook lists.
    QCoro::Task<> search();
    QCoro::Task<> cards();
    // ⌘W and Esc close the popover.
    QCoro::Task<> closing();
    // ⌘, ⌘W and ⌘Q: Settings opened and closed, Quit caught.
    QCoro::Task<> commands();
    QCoro::Task<> savePanel();
    // The front back where it was, and the helper ended.
    QCoro::Task<> handBack();

private:
    QCoro::Task<> ensureActive();
    // The input as it is now: the popover makes its tabs anew when they change.
    QPlainTextEdit* inputView() const;
    QString traceText() const;
    bool popoverKey() const;
    bool shownActiveKey() const;
    // The right-click of a field, through Qt's input path.
    QCoro::Task<std::optional<QSet<QString>>> rightClick(QWidget* field);
    // The keys of a list's rows, from its search field, on a row of the check's own.
    QCoro::Task<> rows(Tab tab, QString label, QWidget* field);

    KeyCheck& m_run;
    CheckShell& m_shell;
    AppDelegate& m_delegate;
    AppModel& m_model;
    const std::optional<Activation::FrontApplication> m_previousFront;
    const QString m_helperProgram;
    const qint64 m_ownPid;
    std::unique_ptr<QProcess> m_helper;
    qint64 m_helperPid = 0;
    QWidget* m_window = nullptr;
};

} // namespace tivela
