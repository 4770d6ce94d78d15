#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace tivela {

class XConnection;

// What the user does outside our windows while the popover is up: mouse presses anywhere
// (XInput2 raw events reach the root whichever client the click goes to) and the window the
// window manager puts in front. Over a connection of its own, read on this object's thread.
class OutsideWatcher : public QObject {
    Q_OBJECT

public:
    explicit OutsideWatcher(QObject* parent = nullptr);
    ~OutsideWatcher() override;

    // Presses older than the start (the click that opened the popover) are not reported.
    // False off Qt's X11 platform, or without XInput2.
    bool start();
    void stop();
    bool isWatching() const { return m_connection != nullptr; }
    // Whether a mouse button is held, on any window.
    bool buttonHeld();

Q_SIGNALS:
    // Any button but the wheel's (4 to 7). Inside or outside our windows: the caller looks
    // where the pointer is.
    void buttonPressed();
    void buttonReleased();
    // A window became active, ours too; pid is its program's (0 when it names none) and name
    // its WM_CLASS class.
    void activeWindowChanged(quint32 window, qint64 pid, const QString& name);

private:
    void readEvents();

    std::unique_ptr<XConnection> m_connection;
    std::unique_ptr<QSocketNotifier> m_notifier;
    quint32 m_since = 0;
    quint8 m_inputOpcode = 0;
    quint32 m_activeWindowAtom = 0;
    quint32 m_pidAtom = 0;
};

} // namespace tivela
