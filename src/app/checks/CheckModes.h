#pragma once

#include "app/LaunchMode.h"
#include "platform/x11/Activation.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace tivela {

class PrivateDesktop;

// The display and bus a window or keyboard check runs on. On X11 the clipboard belongs to the
// display, so a keyboard check that copies and pastes runs on a display of its own.
struct CheckDesktop {
    CheckDesktop();
    ~CheckDesktop();
    CheckDesktop(CheckDesktop&&) noexcept;
    CheckDesktop& operator=(CheckDesktop&&) noexcept;

    // Started for this run; ends with it.
    std::unique_ptr<PrivateDesktop> own;
    // DISPLAY as the program was started; empty when there was none.
    QString personsDisplay;
    // The display the run uses.
    QString display;
    // Ours, or one the test harness marked as private.
    bool isPrivate = false;
    // Why a private desktop could not start (it names the program).
    QString error;
};

// The entries of the hidden check and render modes. An entry starts its mode's work and
// returns; main then runs the event loop, and the mode ends the process with
// QCoreApplication::exit and its own status.
namespace CheckModes {

// The Qt platform a mode runs on, chosen before the application object exists: X11 when there
// is a display (the shortcut and window checks need one), else offscreen. A platform the
// caller names is kept when it is one of those two.
QByteArray platform(const LaunchMode& mode);
// Before the application object exists: a private desktop (X server, window manager, tray,
// session bus) for the keyboard check unless this display is a private one already, and for
// the window check when there is no display; its DISPLAY and bus go into the environment.
// Every other mode runs where it was started.
CheckDesktop prepare(const LaunchMode& mode);
void start(const LaunchMode& mode, const std::optional<Activation::FrontApplication>& front,
           const CheckDesktop& desktop);

} // namespace CheckModes

} // namespace tivela
