#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace tivela {

// A window of a fixed design size on a screen that may be smaller than it, in pixels of its
// own or in a large text size: the window shrinks to the screen's work area (its content
// scrolls) and its frame, title bar included, lies inside that area, so it can always be
// moved.
namespace WindowFit {

// What Qt's dialogs assume a window manager's frame adds before it has framed a window: 10
// wide and 40 tall in all, the most of it above as a title bar.
inline constexpr QMargins assumedDecoration{5, 35, 5, 5};

// The window's frame: at the design size or as much of it as the area holds, centred on the
// area, or where `frame` already lies when that is inside it.
QRect frame(QSize design, const QMargins& decoration, const QRect& area, bool centre,
            const QRect& current = {});

// Sizes the window to its design or less and moves its frame inside the work area of its
// screen (the primary one when it has none), centred when asked; once the window manager has
// framed the window, its real frame is fitted once more.
void fit(QWidget& window, QSize design, bool centre);

} // namespace WindowFit

} // namespace tivela
