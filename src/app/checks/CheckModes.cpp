#include "app/checks/CheckModes.h"

#include "app/checks/FitShots.h"
#include "app/checks/KeyCheck.h"
#include "app/checks/ScreenshotRenderer.h"
#include "app/checks/SelfTest.h"
#include "app/checks/SiteShots.h"
#include "app/checks/WindowCheck.h"
#include "platform/x11/PrivateDesktop.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace tivela {

CheckDesktop::CheckDesktop() = default;
CheckDesktop::~CheckDesktop() = default;
CheckDesktop::CheckDesktop(CheckDesktop&&) noexcept = default;
CheckDesktop& CheckDesktop::operator=(CheckDesktop&&) noexcept = default;

CheckDesktop CheckModes::prepare(const LaunchMode& mode) {
    CheckDesktop desktop;
    desktop.personsDisplay = qEnvironmentVariable("DISPLAY");
    desktop.display = desktop.personsDisplay;
    desktop.isPrivate = PrivateDesktop::isInside();
    const bool needed = (mode.kind == LaunchMode::Kind::checkKeys && !desktop.isPrivate) ||
                        (mode.kind == LaunchMode::Kind::checkWindow && desktop.display.isEmpty());
    if (!needed)
        return desktop;
    desktop.own = std::make_unique<PrivateDesktop>();
    if (!desktop.own->start({})) {
        desktop.error = desktop.own->error();
        desktop.own.reset();
        // Nothing of the run reaches the person's display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return desktop;
    }
    desktop.own->enter();
    desktop.display = desktop.own->display();
    desktop.isPrivate = true;
    return desktop;
}

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
                       const std::optional<Activation::FrontApplication>& front,
                       const CheckDesktop& desktop) {
    // A program in front on the person's display is nothing to give the front back to on ours.
    const auto previousFront = desktop.own ? std::nullopt : front;
    if (mode.kind == LaunchMode::Kind::renderScreenshots)
        return ScreenshotRenderer::run(mode.value);
    if (mode.kind == LaunchMode::Kind::renderFitShots)
        return FitShots::run(mode.value);
    if (mode.kind == LaunchMode::Kind::renderSiteShots)
        return SiteShots::run(mode.value);
    if (mode.kind == LaunchMode::Kind::selfTest)
        return SelfTest::run(mode.value);
    if (mode.kind == LaunchMode::Kind::checkWindow)
        return WindowCheck::run(mode.value, previousFront, desktop);
    if (mode.kind == LaunchMode::Kind::checkKeys)
        return KeyCheck::run(mode.value, previousFront, desktop);
    if (mode.kind == LaunchMode::Kind::checkHelper)
        return WindowCheck::helper();
    std::fprintf(stderr, "tivela: %s is not a check mode\n",
                 qPrintable(LaunchMode::option(mode.kind)));
    QTimer::singleShot(0, [] { QCoreApplication::exit(1); });
}

} // namespace tivela
