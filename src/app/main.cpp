// The tray application: one copy per user, started by the person, at login, or by xdg-open
// with a tivela: URL.
#include "app/AppDelegate.h"
#include "app/GlobalShortcut.h"
#include "app/LaunchMode.h"
#include "app/LegacyMigration.h"
#include "app/Wording.h"
#include "app/checks/CheckModes.h"
#include "app/views/Theme.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "platform/Defaults.h"
#include "platform/desktop/ColorScheme.h"
#include "platform/desktop/LoginItem.h"
#include "platform/desktop/SignalPipe.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/x11/Activation.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tivela;

namespace {

// How long quitting waits for the work of the translator, the word analysers and the speaker to
// end.
constexpr int quitMilliseconds = 1500;

// Work running or queued at quit (translations, a voice list being read, speech) would run on
// into the static teardown, reading tables already destroyed. Whether it stopped in time.
bool stopWorkInTime() {
    if (Defaults::stopWork(QDeadlineTimer(quitMilliseconds)))
        return true;
    std::fprintf(stderr, "tivela: work under way did not stop in time; ending at once\n");
    return false;
}

// Static destructors must not run under the work still going, but the dictionary locks must
// not outlive us.
[[noreturn]] void endAtOnce(int status) {
    LexiconDownloader::releaseHeldLocks();
    std::fflush(nullptr);
    ::_exit(status);
}

} // namespace

int main(int argc, char** argv) {
    // The options are read from a copy: Qt takes its own (-style, -platform) out of argv, and
    // a mode's value may look like one of them.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const LaunchMode mode = LaunchMode::scan(arguments);
    // Before this program takes the front.
    const std::optional<Activation::FrontApplication> frontAtLaunch = Activation::frontmost();

    if (mode.kind == LaunchMode::Kind::checkMigrationCleanup) {
        LoginItem::mainApp().unregister();
        return 0;
    }
    if (mode.isCheckOrRender()) {
        int status = 0;
        bool stopped = false;
        {
            // Outlives the application object, whose connection to the display goes first.
            const CheckDesktop desktop = CheckModes::prepare(mode);
            qputenv("QT_QPA_PLATFORM", CheckModes::platform(mode));
            QApplication app(argc, argv);
            QApplication::setQuitOnLastWindowClosed(false);
            CheckModes::start(mode, frontAtLaunch, desktop);
            status = QApplication::exec();
            stopped = stopWorkInTime();
        }
        // Once a private desktop has gone with the rest of the mode.
        if (!stopped)
            endAtOnce(status);
        return status;
    }

    // Qt would abort on a missing display; a chosen platform (offscreen) is the caller's say.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "tivela: %s\n", qPrintable(Wording::needsDesktop()));
        return 1;
    }
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window's title ("Tivela Settings — Tivela").
    QApplication::setApplicationName(u"tivela"_s);
    QGuiApplication::setDesktopFileName(Paths::bundleID());
    QApplication::setQuitOnLastWindowClosed(false);
    SignalPipe endOnSignals;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] {
        if (!stopWorkInTime())
            // After the delegate has gone and the history is written.
            qAddPostRoutine([] { endAtOnce(0); });
    });

    QStringList urls;
    for (const QString& argument : arguments.mid(1))
        if (argument.startsWith(u"tivela:"))
            urls << argument;
    // Before any store, model or settings exist: a second start only hands its URLs over.
    SingleInstance instance(Paths::bundleID(), u"Tivela couldn’t translate the text."_s);
    instance.setHeldShortcut([] { return GlobalShortcut::shared().heldJson(); });
    if (instance.claim() == SingleInstance::Role::secondary) {
        if (instance.forward(urls))
            return 0;
        std::fprintf(stderr, "tivela: %s\n", qPrintable(Wording::runningCopySilent()));
        return 1;
    }
    // The move from the earlier name runs here, before the store, the model or any settings
    // exist; its report reads the state it left.
    LegacyMigration migration(LegacyMigration::Environment::production());
    if (migration.run(mode.migrationReport
                          ? QStringList{u"--check-migration-report"_s, *mode.migrationReport}
                          : QStringList()))
        return 0;
    if (mode.migrationReport) {
        AppDelegate::quiet = true;
        migration.writeReport(*mode.migrationReport);
    }

    // Light or dark as the desktop's portal says, and follows it; else as the platform's palette.
    ColorScheme scheme;
    Appearance appearance(scheme);
    AppDelegate delegate;
    QObject::connect(&delegate, &AppDelegate::launched, &delegate, [&] {
        // Calls that came over the bus meanwhile run now, then the URLs of this start.
        instance.setTarget(&delegate);
        delegate.openUrls(urls);
    });
    QTimer::singleShot(0, &delegate, [&] { delegate.didFinishLaunching(); });
    return QApplication::exec();
}
