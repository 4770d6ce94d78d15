// The main function of every benchmark program: the same throwaway world as the tests, the
// Qt application object the program needs, then Google Benchmark.
#include "core/Paths.h"
#include "support/TestWorld.h"

#include <benchmark/benchmark.h>

#if defined(TIVELA_BENCH_APP_X11)
#include "platform/x11/PrivateDesktop.h"
#include <QApplication>
#include <cstdio>
using BenchApplication = QApplication;
#elif defined(TIVELA_BENCH_APP_WIDGETS)
#include <QApplication>
using BenchApplication = QApplication;
#elif defined(TIVELA_BENCH_APP_GUI)
#include <QGuiApplication>
using BenchApplication = QGuiApplication;
#else
#include <QCoreApplication>
using BenchApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
    tivela::Paths::markTestProcess();
    tivela::test::World::setUp();
#if defined(TIVELA_BENCH_APP_X11)
    // A desktop of its own, never the person's.
    tivela::PrivateDesktop desktop;
    if (!tivela::PrivateDesktop::isInside()) {
        if (!desktop.start({})) {
            std::fprintf(stderr, "no private desktop: %s\n", qPrintable(desktop.error()));
            return 1;
        }
        desktop.enter();
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
#endif
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("TIVELA_STAGE"))
        qputenv("TIVELA_STAGE", TIVELA_STAGE_DIR);
    if (qEnvironmentVariableIsEmpty("TIVELA_SOURCE_DIR"))
        qputenv("TIVELA_SOURCE_DIR", TIVELA_SOURCE_ROOT);
    BenchApplication app(argc, argv);

    const int helperStatus = tivela::test::runHelperIfAsked(argc, argv);
    if (helperStatus >= 0)
        return helperStatus;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tivela::test::World::tearDown();
    return 0;
}
