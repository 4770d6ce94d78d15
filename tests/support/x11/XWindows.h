#pragma once

#include "platform/x11/XConnection.h"

#include <QList>
#include <QMap>
#include <QMargins>
#include <QRect>
#include <QString>

// Tivela's windows as other programs on the display see them, through a connection of the
// test's own.
namespace tivela::test::XWindows {

// The window's place on the root window, without the window manager's frame.
QRect frameOf(XConnection& x, xcb_window_t window);
// What the window manager's frame adds around the window (_NET_FRAME_EXTENTS).
QMargins frameExtents(XConnection& x, xcb_window_t window);
// The work area the window manager tells (_NET_WORKAREA of the first desktop).
QRect workArea(XConnection& x);
// Our window with the XEmbed property, wherever the tray put it.
xcb_window_t trayIcon(XConnection& x, xcb_window_t parent);
// Our managed windows on screen.
QList<xcb_window_t> shownWindows(XConnection& x);
// Our managed windows on screen, by the title the window manager shows.
QMap<QString, xcb_window_t> titledWindows(XConnection& x);

} // namespace tivela::test::XWindows
