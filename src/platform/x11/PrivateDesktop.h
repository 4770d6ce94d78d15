#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <memory>
#include <sys/types.h>
#include <vector>

class QTemporaryDir;

namespace tivela {

// A desktop of our own: an X server on a free display with a window manager, optionally a
// tray host, and a session bus that activates no real desktop service. Tests and the checks
// run on it so that nothing reaches the person's display, clipboard or bus.
//
// The programs it starts end with the thread that started them (a parent-death signal), so
// a desktop never outlives its owner even when the owner is killed.
class PrivateDesktop {
public:
    struct Options {
        // Xvfb and openbox.
        bool display = true;
        // trayer, hosting XEmbed tray icons; only with a display.
        bool tray = true;
        // A session bus of its own.
        bool bus = true;
        int width = 1280;
        int height = 800;
    };

    // How long each program may take to come up.
    static constexpr int startMilliseconds = 10000;

    PrivateDesktop();
    ~PrivateDesktop();
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;

    // Starts what the options ask for; on failure everything started is stopped again and
    // error() says what went wrong.
    bool start(const Options& options);
    void stop();

    const QString& error() const { return m_error; }
    // ":N", empty without a display.
    const QString& display() const { return m_display; }
    // The bus address, empty without a bus.
    const QString& busAddress() const { return m_busAddress; }
    // The environment a program on this desktop needs, on top of the given one.
    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;
    // The programs it started, for a caller that must end them without this object (a
    // watchdog on another thread).
    std::vector<pid_t> processes() const;
    // Puts that environment into this process, for what it starts or connects to next.
    void enter() const;

    // Set in a program's environment by enter() and environment(): the display it names is a
    // private one.
    static constexpr const char* markerVariable = "TIVELA_PRIVATE_DESKTOP";
    // Whether this process runs on a private desktop (the marker names its DISPLAY).
    static bool isInside();

private:
    struct Child {
        QString name;
        pid_t pid = -1;
        bool reaped = false;
    };

    bool startDisplay(const Options& options);
    bool startWindowManager();
    bool startTray();
    bool startBus();
    bool fail(const QString& message);
    // Starts a program with the private display in its environment; keepFd, when not -1, is
    // kept open in the child under the same number.
    pid_t spawn(const QString& name, const QStringList& args, int keepFd = -1);
    bool alive(Child& child);

    std::vector<Child> m_children;
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_error;
    QString m_display;
    QString m_busAddress;
};

} // namespace tivela
