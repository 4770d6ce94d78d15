#pragma once

#include "platform/x11/Shortcut.h"
#include "platform/x11/XSelection.h"

#include <QFuture>
#include <QObject>
#include <QPromise>
#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace tivela {

// Reads the text selected in the program in front, for the global shortcut. X11 keeps the
// selection as PRIMARY, which its owner hands out on request. Only when PRIMARY is blank does
// the reader copy: it presses Ctrl+C in the program through XTest and puts every format of the
// clipboard back afterwards.
//
// Never through QClipboard: Qt waits 5 s for an owner that does not answer. The reading runs on
// a thread of its own over a private connection, so the main thread never waits for another
// program.
class SelectionReader : public QObject {
    Q_OBJECT

public:
    struct Timing {
        int primaryMilliseconds = 350;
        // XTest keys sent while the shortcut is still down come back to its grab.
        int keysUpMilliseconds = 1000;
        int saveMilliseconds = 500;
        int copyMilliseconds = 350;
        // A copy that lands later still replaced the clipboard; it is put back.
        int lateCopyMilliseconds = 2000;
    };

    explicit SelectionReader(QObject* parent = nullptr);
    explicit SelectionReader(Timing timing, QObject* parent = nullptr);
    ~SelectionReader() override;

    // The selected text, untrimmed, or nothing; finishes on this object's thread. `held` is
    // the shortcut that asked, whose keys must be up before a copy. While a read runs, asking
    // again answers that read.
    QFuture<std::optional<QString>> selectedText(const Shortcut& held);

    // Whether other programs' selections can be read here: an X server (not Wayland).
    static bool isAvailable();
    // Whether a window of this class (WM_CLASS: instance and class, NUL-separated) is a
    // terminal, where Ctrl+C interrupts the program instead of copying.
    static bool isTerminal(const QByteArray& wmClass);

Q_SIGNALS:
    // The clipboard holds again what it held before a copy.
    void clipboardRestored();

private:
    struct Outcome;
    void work(const Shortcut& held);
    void finish(std::optional<QString> text);
    void restore(const XSelection::Contents& saved);

    Timing m_timing;
    std::optional<QPromise<std::optional<QString>>> m_promise;
    QFuture<std::optional<QString>> m_running;
    // Last: its thread ends before the rest goes.
    QThreadPool m_pool;
};

} // namespace tivela
