#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace tivela::test {

// The live (not yet ended) child processes of a process, by the /proc file system.
QList<pid_t> childProcesses(pid_t parent);
// Whether a process exists and has not ended; a zombie has ended.
bool isRunning(pid_t pid);
// Live processes running a program of a folder ("PID PATH"): what a run left behind.
QStringList runningFrom(const QString& folder);

} // namespace tivela::test
