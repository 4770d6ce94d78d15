#pragma once

#include <QList>

#include <sys/types.h>

namespace tivela::test {

// The live (not yet ended) child processes of a process, by the /proc file system.
QList<pid_t> childProcesses(pid_t parent);
// Whether a process exists and has not ended; a zombie has ended.
bool isRunning(pid_t pid);

} // namespace tivela::test
