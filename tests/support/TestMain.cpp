// The main function of every test program: a throwaway world, the Qt application object the
// program needs, then either a helper mode or the tests.
#include "core/Paths.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#if defined(TIVELA_DESKTOP_LAUNCHER)
#include <unistd.h>
#include <vector>
#endif

#if defined(TIVELA_TEST_APP_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(TIVELA_TEST_APP_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
#if defined(TIVELA_DESKTOP_LAUNCHER)
    // A program that needs a display never runs on the person's: started outside a private
    // desktop, it starts again inside one.
    const QByteArray desktop = qgetenv("TIVELA_PRIVATE_DESKTOP");
    if (desktop.isEmpty() || desktop != qgetenv("DISPLAY")) {
        std::vector<char*> args{const_cast<char*>(TIVELA_DESKTOP_LAUNCHER),
                                const_cast<char*>("--")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        ::execv(TIVELA_DESKTOP_LAUNCHER, args.data());
        qFatal("cannot start %s", TIVELA_DESKTOP_LAUNCHER);
    }
#endif
    // A helper may be asked to run as a release program would, outside any test framework.
    if (!qEnvironmentVariableIsSet("TIVELA_TEST_AS_RELEASE"))
        tivela::Paths::markTestProcess();
    tivela::test::World::setUp();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);

    const int helperStatus = tivela::test::runHelperIfAsked(argc, argv);
    if (helperStatus >= 0)
        return helperStatus;

    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    tivela::test::World::tearDown();
    // A program that skipped a test and failed none says so to CTest (its SKIP_RETURN_CODE),
    // so that a skip never reads as a pass.
    if (status == 0 && ::testing::UnitTest::GetInstance()->skipped_test_count() > 0)
        return tivela::test::skippedStatus;
    return status;
}
