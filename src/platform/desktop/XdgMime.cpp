#include "platform/desktop/XdgMime.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela::XdgMime {
namespace {

// Ends a run that is still going when its owner goes.
class Process : public QProcess {
public:
    using QProcess::QProcess;
    ~Process() override { end(this); }
};

} // namespace

QProcess* start(const QStringList& arguments, int bound, QObject* parent) {
    auto* process = new Process(parent);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    auto* deadline = new QTimer(process);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, process, [process] { end(process); });
    if (auto* application = QCoreApplication::instance())
        QObject::connect(application, &QCoreApplication::aboutToQuit, process, [process] {
            process->waitForFinished(quitMilliseconds);
            end(process);
        });
    // A turn of the loop later, so the caller's connections see a failed start too.
    QMetaObject::invokeMethod(
        process,
        [process, deadline, arguments, bound] {
            deadline->start(bound);
            process->start(u"xdg-mime"_s, arguments);
        },
        Qt::QueuedConnection);
    return process;
}

void end(QProcess* process) {
    if (process->state() == QProcess::NotRunning)
        return;
    const qint64 id = process->processId();
    if (id > 0)
        ::kill(-pid_t(id), SIGKILL);
    process->kill();
    // Killed, it ends at once: the wait only collects its status.
    process->waitForFinished(1000);
}

} // namespace tivela::XdgMime
