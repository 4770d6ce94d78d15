#pragma once

#include "app/LaunchMode.h"
#include "platform/x11/Activation.h"

#include <QByteArray>

#include <optional>

namespace tivela {

// The entries of the hidden check and render modes. An entry starts its mode's work and
// returns; main then runs the event loop, and the mode ends the process with
// QCoreApplication::exit and its own status.
namespace CheckModes {

// The Qt platform a mode runs on, chosen before the application object exists: X11 when there
// is a display (the shortcut and window checks need one), else offscreen. A platform the
// caller names is kept when it is one of those two.
QByteArray platform(const LaunchMode& mode);
void start(const LaunchMode& mode, const std::optional<Activation::FrontApplication>& front);

} // namespace CheckModes

} // namespace tivela
