#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <functional>
#include <memory>

class QProcess;

namespace tivela {

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

// Starts `program --check-helper` and waits until it says it listens; nothing when it did not
// within helperStartMilliseconds (it is ended then). The caller owns the helper: it ends with
// its caller.
QCoro::Task<std::unique_ptr<QProcess>> launchHelper(QString program);
// Asks a helper to give the front to a process. Returns at once; nobody answers.
void ask(const QProcess& helper, qint64 pid);
// Ends a helper, giving it a second to go by itself.
QCoro::Task<> endHelper(std::unique_ptr<QProcess> helper);

// The --check-helper mode: one small window that takes no front, and the requests addressed
// to this process. Prints "ready" once both exist.
void helper();

} // namespace WindowCheck

} // namespace tivela
