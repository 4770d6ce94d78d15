#include "platform/desktop/SignalPipe.h"
#include "support/TestWorld.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

// Runs the loop until a signal ends it; the end of the loop writes the file named.
TIVELA_TEST_HELPER(untilSignal) {
    SignalPipe pipe;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [&] {
        QFile file(args.value(0));
        file.open(QIODevice::WriteOnly);
        file.write("quit");
    });
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

TEST(SignalPipeTest, EachEndingSignalRunsTheEndOfTheLoopAndExitsZero) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const QString marker = World::root() + u"/quit-%1"_s.arg(signal);
        auto process = startHelper(u"untilSignal"_s, {marker});
        ASSERT_TRUE(process->waitForReadyRead(10000));
        // Many at once, as a session ending sends them.
        for (int i = 0; i < 20; ++i)
            ::kill(pid_t(process->processId()), signal);
        const ProcessResult result = finish(*process, 10000);
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_TRUE(QFile::exists(marker));
    }
}
