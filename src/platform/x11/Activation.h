#pragma once

#include <QString>

#include <functional>
#include <optional>

class QObject;
class QWindow;

namespace tivela {

// Asking the window manager for the front, and telling it what our windows are.
namespace Activation {

// The program whose window is in front: the root's _NET_ACTIVE_WINDOW, its _NET_WM_PID and
// WM_CLASS.
struct FrontApplication {
    quint32 window = 0;
    qint64 pid = 0;
    // The class part of WM_CLASS ("Firefox"); the instance when there is no class.
    QString name;

    friend bool operator==(const FrontApplication&, const FrontApplication&) = default;
};

// Through a connection of its own, so it works before Qt has one; nothing without an X
// server or a window in front.
std::optional<FrontApplication> frontmost();

// Brings a shown window to the front for a request that came from no input event of ours (a
// second start, a call over the bus, a StatusNotifierItem click): a _NET_ACTIVE_WINDOW message
// from a pager (source 2), which focus-stealing prevention lets through. Off X11, Qt's own
// request.
void requestFront(QWindow* window);

// Hands the front to another program: its topmost mapped client window, found by _NET_WM_PID,
// asked for as a pager would. A program with no mapped window cannot be brought forward:
// false, and nothing is asked.
bool activateProcess(qint64 pid);

// Whether a window is on the desktop the person sees: its _NET_WM_DESKTOP is the root's
// _NET_CURRENT_DESKTOP, or all desktops. Without X11 or a window manager that says, true.
bool isOnCurrentDesktop(QWindow* window);

// Keeps a window off the taskbar and the pager. Qt sets neither for a tool window, and the
// window manager drops the state when the window hides: call it before every show.
void keepOffTaskbar(QWindow* window);

// Calls back on the main thread each time the keyboard comes to the window (an X FocusIn on
// it), also when Qt reports no change: Qt keeps a window that lost the keyboard as its focus
// window for 400 ms, and the keyboard's return within them tells nothing. Stops with the
// owner; off X11 never called.
void onKeyboardIn(QWindow* window, QObject* owner, std::function<void()> arrived);

} // namespace Activation

} // namespace tivela
