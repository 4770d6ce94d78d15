#include "support/Processes.h"

#include <QDir>
#include <QFile>

namespace tivela::test {
namespace {

// The fields of /proc/PID/stat after the command name: state, parent, process group, ...
QList<QByteArray> statFields(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ');
}

} // namespace

QList<pid_t> childProcesses(pid_t parent) {
    QList<pid_t> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() > 1 && fields[1].toInt() == parent && fields[0] != "Z")
            children << pid;
    }
    return children;
}

bool isRunning(pid_t pid) {
    const QList<QByteArray> fields = statFields(pid);
    return !fields.isEmpty() && fields[0] != "Z";
}

QStringList runningFrom(const QString& folder) {
    QStringList found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QString program = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(entry));
        if (program.startsWith(folder + u'/') && isRunning(entry.toInt()))
            found << entry + u' ' + program;
    }
    return found;
}

} // namespace tivela::test
