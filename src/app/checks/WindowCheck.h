#pragma once

#include "platform/x11/Activation.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QProcess;
class QWidget;

namespace tivela {

class AppDelegate;
class CheckReport;
struct CheckDesktop;

// The window check, and what it shares with the keyboard check: a second copy of the program
// to hand the front to (the helper), the request that has the helper give the front back, and
// the polling wait.
namespace WindowCheck {

// How long a helper may take to say it listens.
constexpr int helperStartMilliseconds = 5000;
// A helper whose caller forgot it still goes.
constexpr int helperLifeSeconds = 180;
constexpr int pollMilliseconds = 50;

// Tests the condition every 50 ms, up to bound / 50 times, and returns at the first test that
// holds; without a condition, a pause. The event loop runs meanwhile. A bound under 50 ms
// tests nothing, and a condition that comes true after the last test is left to the caller to
// see.
QCoro::Task<> wait(int milliseconds, std::function<bool()> until = {});

// Whether one of our windows has the keyboard.
bool isActive();
// A front program's name for details: "?" for none, or one without a name. Without an
// argument, the program in front now.
QString frontName(const std::optional<Activation::FrontApplication>& front);
QString frontName();

// Where a mode's time went: the waits whose condition never came (they ran to their bound)
// and the plain pauses, since the process started.
struct WaitTally {
    qint64 atBoundMilliseconds = 0;
    int atBound = 0;
    qint64 pauseMilliseconds = 0;
};
WaitTally& waitTally();
// One line on stderr at a mode's end, for whoever times it: the wall time and the tally.
void printTimes(const char* mode, qint64 wallMilliseconds);

// Starts `program --check-helper` and waits until it says it listens; nothing when it did not
// within helperStartMilliseconds (it is ended then). The caller owns the helper: it ends with
// its caller.
QCoro::Task<std::unique_ptr<QProcess>> launchHelper(QString program);
// Hands the front to a process as a pager would. The window manager drops a request now and
// then, and a loaded machine carries one out late: asked again every 500 ms, at most 10 times,
// while the front stays where it was. Any change ends it, so that an older request never takes
// the front back from a newer one.
QCoro::Task<> handFront(qint64 pid);
constexpr int frontAttempts = 10;
constexpr int frontAttemptMilliseconds = 500;
// Brings one of our shown windows to the front and the keyboard into it, asking again the same
// way while it has not come; returns once it has, or after the last attempt.
QCoro::Task<> bringForward(QWidget* window);
// Asks a helper to give the front to a process. Returns at once; nobody answers.
void ask(const QProcess& helper, qint64 pid);
// Ends a helper, giving it a second to go by itself.
QCoro::Task<> endHelper(std::unique_ptr<QProcess> helper);

// The --check-window mode: the script on a shell in check mode, its report written to the path,
// and the process ended with the report's status. The program in front at launch gets the
// front back at the end.
// A desktop that could not start (there was no display and none of our own) is the one record,
// a helper that cannot be started.
void run(const QString& reportPath, std::optional<Activation::FrontApplication> previousFront,
         const CheckDesktop& desktop);
// The script: the popover opens, closes when another program takes the front, keeps its text,
// closes on Escape, and stays while pinned. helperProgram is started as the other program.
QCoro::Task<> steps(AppDelegate& delegate, CheckReport& report,
                    std::optional<Activation::FrontApplication> previousFront,
                    QString helperProgram);
// The test text: non-ASCII, so that a lossy round trip shows.
inline constexpr char16_t testText[] = u"Проверка: окно помнит текст";

// The --check-helper mode: one small window that takes no front, and the requests addressed
// to this process. Prints "ready" once the window is shown and the bus has taken the match.
void helper();

} // namespace WindowCheck

} // namespace tivela
