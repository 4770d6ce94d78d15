#include "support/TestWorld.h"

#include "core/Paths.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace tivela::test {
namespace {

constexpr const char* worldVariable = "TIVELA_TEST_WORLD";

bool& ownsWorld() {
    static bool owns = false;
    return owns;
}

QMap<QString, HelperFunction>& helpers() {
    static QMap<QString, HelperFunction> table;
    return table;
}

} // namespace

QString World::setUp() {
    const QByteArray inherited = qgetenv(worldVariable);
    if (!inherited.isEmpty())
        return QString::fromLocal8Bit(inherited);

    QByteArray pattern = QDir::tempPath().toLocal8Bit() + "/tivela-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        qFatal("cannot create a temporary folder for the test world");
    const QString root = QString::fromLocal8Bit(pattern);
    const QDir dir(root);
    for (const char* sub : {"home", "data", "config", "cache", "state", "runtime"})
        dir.mkpath(QLatin1String(sub));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", dir.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime")).toLocal8Bit());
    // No bus until a test starts its own: never the user's, and no daemon started on demand.
    // A private desktop's bus is the program's own.
    const QByteArray desktop = qgetenv("TIVELA_PRIVATE_DESKTOP");
    if (desktop.isEmpty() || desktop != qgetenv("DISPLAY"))
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                "unix:path=" + dir.filePath(QStringLiteral("runtime/no-bus")).toLocal8Bit());
    qputenv(worldVariable, root.toLocal8Bit());
    ownsWorld() = true;
    return root;
}

void World::tearDown() {
    if (!ownsWorld())
        return;
    // Daemons started for the world (a speech daemon listening on a socket in it) would
    // outlive the tests otherwise. One may still be forking as the tests end: look again.
    const QByteArray rootBytes = root().toLocal8Bit();
    for (const int pauseMs : {0, 100, 300}) {
        QThread::msleep(pauseMs);
        const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString& name : pids) {
            bool isPid = false;
            const pid_t pid = name.toInt(&isPid);
            if (!isPid || pid == getpid())
                continue;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(rootBytes))
                ::kill(pid, SIGKILL);
        }
    }
    QDir(root()).removeRecursively();
}

QString World::root() {
    return QString::fromLocal8Bit(qgetenv(worldVariable));
}

QMap<QString, QByteArray> World::personFiles(const QString& except) {
    QMap<QString, QByteArray> files;
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        QDirIterator it(QString::fromLocal8Bit(qgetenv(variable)), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!except.isEmpty() && file.fileName().startsWith(except + u'/'))
                continue;
            files.insert(file.fileName(),
                         file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        }
    }
    return files;
}

QString stageDir() {
    return QString::fromLocal8Bit(qgetenv("TIVELA_STAGE"));
}

qint64 busNameOwner() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus->isServiceRegistered(Paths::bundleID()))
        return 0;
    const QDBusReply<uint> pid = bus->servicePid(Paths::bundleID());
    return pid.isValid() ? qint64(pid.value()) : 0;
}

bool stagedProgramUp(int milliseconds, const QProcess* program) {
    const auto ended = [program] { return program && program->state() != QProcess::Running; };
    const bool up = waitUntil(
        [&] {
            const qint64 owner = busNameOwner();
            return ended() || (owner != 0 && (!program || owner == program->processId()) &&
                               Paths::defaults()->contains(QStringLiteral("shortcutDisplay")));
        },
        milliseconds);
    return up && !ended();
}

qint64 endStrayCopy(int milliseconds) {
    // A copy that is just ending lets its name go by itself.
    if (waitUntil([] { return busNameOwner() == 0; }, milliseconds / 2))
        return 0;
    const qint64 stray = busNameOwner();
    if (stray > 0 && stray != QCoreApplication::applicationPid()) {
        ::kill(pid_t(stray), SIGKILL);
        waitUntil([] { return busNameOwner() == 0; }, milliseconds / 2);
    }
    return stray;
}

QString sourceDir() {
    return QString::fromLocal8Bit(qgetenv("TIVELA_SOURCE_DIR"));
}

QString modesFolder(const QString& name, const QStringList& modes) {
    const QString folder = World::root() + u'/' + name;
    QDir().mkpath(folder);
    for (const QString& mode : modes)
        QFile::copy(QStringLiteral("/usr/share/apertium/modes/") + mode + QStringLiteral(".mode"),
                    folder + u'/' + mode + QStringLiteral(".mode"));
    return folder;
}

HelperRegistration::HelperRegistration(const char* name, HelperFunction function) {
    helpers().insert(QString::fromLatin1(name), function);
}

int runHelperIfAsked(int argc, char** argv) {
    if (argc < 3 || qstrcmp(argv[1], "--helper") != 0)
        return -1;
    const auto function = helpers().value(QString::fromLocal8Bit(argv[2]));
    if (!function)
        return 127;
    QStringList args;
    for (int i = 3; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return function(args);
}

std::unique_ptr<QProcess> startHelper(const QString& name, const QStringList& args) {
    auto process = std::make_unique<QProcess>();
    process->setProgram(QCoreApplication::applicationFilePath());
    process->setArguments(QStringList{QStringLiteral("--helper"), name} + args);
    process->start();
    return process;
}

ProcessResult finish(QProcess& process, int timeoutMs) {
    ProcessResult result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

ProcessResult runHelper(const QString& name, const QStringList& args, int timeoutMs) {
    auto process = startHelper(name, args);
    return finish(*process, timeoutMs);
}

} // namespace tivela::test
