#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace tivela {

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
// A reply or event from xcb, which the caller frees.
template <typename T>
using XReply = std::unique_ptr<T, FreeDeleter>;

// A connection of our own to the X server. Qt's connection answers only from the main thread
// and waits as long as another client makes it; work that talks to other clients (their
// selections, their windows) goes through one of these with a deadline on every wait.
// A connection is used by one thread at a time.
class XConnection {
public:
    // To the display named in DISPLAY.
    XConnection();
    explicit XConnection(const QByteArray& display);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    bool isValid() const { return m_connection != nullptr; }
    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char* name);
    QByteArray atomName(xcb_atom_t atom);
    // An unmapped window of this connection that hears its own property changes, made on
    // first use: the requestor of selection transfers and the source of server times.
    xcb_window_t window();

    // The next event, waiting until the deadline; nothing when none came or the connection
    // broke.
    XReply<xcb_generic_event_t> nextEvent(QDeadlineTimer deadline);
    // The X server's current time, which events carry; nothing past the deadline.
    std::optional<xcb_timestamp_t> serverTime(QDeadlineTimer deadline);

    // A 32-bit property of a window: a window, atom or cardinal.
    std::optional<quint32> cardinalProperty(xcb_window_t window, xcb_atom_t property,
                                            xcb_atom_t type);
    QByteArray byteProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);
    // The program a window belongs to by its WM_CLASS: the class ("Firefox"), else the instance.
    QString className(xcb_window_t window);

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = XCB_WINDOW_NONE;
    xcb_window_t m_window = XCB_WINDOW_NONE;
};

// The keyboard's tables, on any connection.
namespace XKeyboard {

// The keycodes that type a keysym without a modifier.
QList<xcb_keycode_t> keycodes(xcb_connection_t* connection, xcb_keysym_t keysym);
// The keycodes whose keys set any of the modifiers of a mask.
QList<xcb_keycode_t> modifierKeys(xcb_connection_t* connection, quint16 mask);
// The modifier mask that one of these keys sets; 0 when none does.
quint16 modifierOf(xcb_connection_t* connection, const QList<xcb_keycode_t>& keys);

} // namespace XKeyboard

} // namespace tivela
