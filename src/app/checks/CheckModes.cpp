#include "app/checks/CheckModes.h"

#include "app/checks/FitShots.h"
#include "app/checks/ScreenshotRenderer.h"
#include "app/checks/SelfTest.h"
#include "app/checks/SiteShots.h"
#include "app/checks/WindowCheck.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace tivela {

QByteArray CheckModes::platform(const LaunchMode& mode) {
    // The pictures are drawn offscreen whatever the session: nothing appears on a desktop.
    if (mode.kind == LaunchMode::Kind::renderScreenshots ||
        mode.kind == LaunchMode::Kind::renderFitShots ||
        mode.kind == LaunchMode::Kind::renderSiteShots)
        return "offscreen";
    const QByteArray asked = qgetenv("QT_QPA_PLATFORM");
    if (asked == "offscreen" || asked == "xcb")
        return asked;
    return qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb";
}

void CheckModes::start(const LaunchMode& mode,
                       const std::optional<Activation::FrontApplication>& front) {
    if (mode.kind == LaunchMode::Kind::renderScreenshots)
        return ScreenshotRenderer::run(mode.value);
    if (mode.kind == LaunchMode::Kind::renderFitShots)
        return FitShots::run(mode.value);
    if (mode.kind == LaunchMode::Kind::renderSiteShots)
        return SiteShots::run(mode.value);
    if (mode.kind == LaunchMode::Kind::selfTest)
        return SelfTest::run(mode.value);
    if (mode.kind == LaunchMode::Kind::checkWindow)
        return WindowCheck::run(mode.value, front);
    if (mode.kind == LaunchMode::Kind::checkHelper)
        return WindowCheck::helper();
    std::fprintf(stderr, "tivela: %s is not built yet\n",
                 qPrintable(LaunchMode::option(mode.kind)));
    QTimer::singleShot(0, [] { QCoreApplication::exit(1); });
}

} // namespace tivela
