#include "app/checks/CheckModes.h"

#include "app/checks/SelfTest.h"
#include "app/checks/WindowCheck.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace tivela {

QByteArray CheckModes::platform(const LaunchMode&) {
    const QByteArray asked = qgetenv("QT_QPA_PLATFORM");
    if (asked == "offscreen" || asked == "xcb")
        return asked;
    return qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb";
}

void CheckModes::start(const LaunchMode& mode, const std::optional<Activation::FrontApplication>&) {
    if (mode.kind == LaunchMode::Kind::selfTest)
        return SelfTest::run(mode.value);
    if (mode.kind == LaunchMode::Kind::checkHelper)
        return WindowCheck::helper();
    std::fprintf(stderr, "tivela: %s is not built yet\n",
                 qPrintable(LaunchMode::option(mode.kind)));
    QTimer::singleShot(0, [] { QCoreApplication::exit(1); });
}

} // namespace tivela
