#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>

namespace tivela::test {

// Every test program runs in a world of its own: HOME and the XDG folders point into a fresh
// temporary folder, so nothing a test does can touch the real user's files. Helper processes
// started by a test inherit the world of the process that started them.
class World {
public:
    // Sets the world up unless this process inherited one. Returns the world's root.
    static QString setUp();
    // Removes the world if this process made it.
    static void tearDown();
    static QString root();
    // Every file of the person's settings and data folders with its bytes, except those under
    // the folder `except`: what a check mode must leave as it found it.
    static QMap<QString, QByteArray> personFiles(const QString& except = {});
};

// Runs the event loop until the condition holds or the time is up; whether it holds.
template <typename Condition>
bool waitUntil(Condition done, int milliseconds = 10000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for a while, so that what is on its way arrives: for checks that
// something did not happen.
inline void settle(int milliseconds = 150) {
    waitUntil([] { return false; }, milliseconds);
}

// The staged development bundle and the source tree, as the build tells the tests.
QString stageDir();
QString sourceDir();
// The process that owns the program's name on the session bus, or 0.
qint64 busNameOwner();
// Whether the staged program came up in time: it owns the program's name on the session bus and
// told the bridge its shortcut, which it does once it holds it. With `program`, that process
// must be the owner, not a copy an earlier test left running.
bool stagedProgramUp(int milliseconds, const QProcess* program = nullptr);
// Ends a copy of the program that still holds its bus name once a test's own copy has ended,
// and gives its process id (0 when there was none): one test's leftover would take the hand-over
// of every later test's start.
qint64 endStrayCopy(int milliseconds);

// A modes folder of the world's own, `name`, holding copies of these installed Apertium modes
// ("eng-spa"): a test sees those pairs whatever else the machine has installed.
QString modesFolder(const QString& name, const QStringList& modes);

// Helper modes: a test program started with "--helper NAME ARGS..." runs the function
// registered under NAME instead of the tests, so one test can drive a second process.
using HelperFunction = int (*)(const QStringList& args);

struct HelperRegistration {
    HelperRegistration(const char* name, HelperFunction function);
};

#define TIVELA_TEST_HELPER(name)                                                                   \
    static int tivelaHelper_##name(const QStringList& args);                                       \
    static const ::tivela::test::HelperRegistration tivelaHelperRegistration_##name{               \
        #name, &tivelaHelper_##name};                                                              \
    static int tivelaHelper_##name([[maybe_unused]] const QStringList& args)

// The exit status of a test program that skipped a test and failed none, as CTest is told.
inline constexpr int skippedStatus = 77;

// Runs the helper named in argv when asked; returns its exit status, or -1 when not asked.
int runHelperIfAsked(int argc, char** argv);

struct ProcessResult {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Starts this test program again in helper mode. The caller owns the process.
std::unique_ptr<QProcess> startHelper(const QString& name, const QStringList& args = {});
// Runs a helper to its end, waiting at most timeoutMs; a helper that overruns is killed.
ProcessResult runHelper(const QString& name, const QStringList& args = {}, int timeoutMs = 30000);
// Waits at most timeoutMs for a started process and collects its output.
ProcessResult finish(QProcess& process, int timeoutMs = 30000);

} // namespace tivela::test
