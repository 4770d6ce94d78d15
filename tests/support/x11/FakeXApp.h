#pragma once

#include "platform/x11/Shortcut.h"
#include "platform/x11/XConnection.h"
#include "platform/x11/XSelection.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tivela::test {

// Another program on the private display: a connection and a window of its own, served on a
// thread of its own, so a test can play the programs the user works with. It owns selections
// (and can be an owner that never answers), copies on Ctrl+C, and counts what it was asked.
class FakeXApp {
public:
    struct Options {
        // WM_CLASS: instance, NUL, class.
        QByteArray wmClass = QByteArray("fakeapp\0FakeApp", 15);
        // _NET_WM_PID; not ours by default.
        quint32 pid = 1;
        // Answers selection requests in pieces (INCR) above this size; 0 never.
        int pieceBytes = 0;
    };

    FakeXApp();
    explicit FakeXApp(Options options);
    ~FakeXApp();

    quint32 window() const { return m_window; }
    // Asks the window manager for the front and waits until the root names this window and the
    // keyboard is on it. The bound is generous: a sanitised test program on a busy machine can
    // take seconds, and the wait ends as soon as the focus comes.
    bool activate(int timeoutMs = 10000);
    // Owns a selection ("PRIMARY", "CLIPBOARD") with these formats; a silent owner never
    // answers a request. Waits until the server names it the owner.
    void own(const char* selection, const QList<XSelection::Format>& formats, bool silent = false);
    // What Ctrl+C in this window does: take CLIPBOARD with the text after the delay, or nothing.
    void copyOnCtrlC(std::optional<QString> text, int delayMs = 0);

    int ctrlCPresses() const { return m_ctrlCPresses; }
    // Selection requests it answered or ignored, TARGETS included.
    int requests() const { return m_requests; }

private:
    struct Transfer;
    void run();
    void handle(xcb_generic_event_t* event);
    void answer(const xcb_selection_request_event_t* request);
    void continueTransfer(xcb_window_t requestor, xcb_atom_t property);
    void takeClipboardNow();
    void requestFront(xcb_atom_t active);

    Options m_options;
    XConnection m_connection;
    xcb_window_t m_window = XCB_WINDOW_NONE;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_ctrlCPresses{0};
    std::atomic<int> m_requests{0};

    std::mutex m_mutex;
    QList<QPair<xcb_atom_t, QList<XSelection::Format>>> m_owned;
    QList<xcb_atom_t> m_silent;
    std::optional<QString> m_copyText;
    int m_copyDelayMs = 0;
    std::optional<qint64> m_copyAtMs;
    QList<std::shared_ptr<Transfer>> m_transfers;
};

// Another program's grabs of a key combination, as a tray tool or a window manager of the
// person's may hold one, over a connection of its own; released when it goes.
class KeyHolder {
public:
    // The lock-key states a grab may name: Caps Lock is Lock and Num Lock Mod2 on the private
    // desktop's keyboard.
    static constexpr quint16 noLock = 0;
    static constexpr quint16 capsLock = XCB_MOD_MASK_LOCK;
    static constexpr quint16 numLock = XCB_MOD_MASK_2;
    static constexpr quint16 capsAndNumLock = XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2;
    static constexpr std::array<quint16, 4> everyLock{noLock, capsLock, numLock, capsAndNumLock};

    ~KeyHolder();
    // Grabs the shortcut's key in each of the lock-key states; whether the server granted all.
    bool hold(const Shortcut& shortcut,
              const QList<quint16>& locks = {everyLock.begin(), everyLock.end()});
    void releaseAll();

private:
    XConnection m_connection;
};

// Input as the X server's test extension makes it: it reaches whichever window has the focus
// or lies under the pointer, as a person's would.
namespace FakeInput {

// The keys the tests press, by keysym.
constexpr xcb_keysym_t control = 0xffe3;
constexpr xcb_keysym_t shift = 0xffe1;
constexpr xcb_keysym_t alt = 0xffe9;
constexpr xcb_keysym_t capsLock = 0xffe5;
constexpr xcb_keysym_t numLock = 0xff7f;
constexpr xcb_keysym_t escape = 0xff1b;
constexpr xcb_keysym_t letterC = 0x0063;
constexpr xcb_keysym_t letterT = 0x0074;

void key(XConnection& connection, xcb_keysym_t keysym, bool press);
// Presses the keys in order and releases them in reverse.
void chord(XConnection& connection, const QList<xcb_keysym_t>& keysyms);
// Control-Alt-T, the default global shortcut.
void shortcut(XConnection& connection);
void moveTo(XConnection& connection, int x, int y);
void button(XConnection& connection, int button, bool press);

} // namespace FakeInput

} // namespace tivela::test
