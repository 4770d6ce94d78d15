// tivela-desktop-run [--no-tray] [--size WIDTHxHEIGHT] [--] PROGRAM [ARGS...]
// Runs a program on a private desktop of its own (X server, window manager, tray host, session
// bus) and answers its exit status. The tests that need a display run through it, so they never
// reach the person's display, clipboard or bus.
#include "platform/x11/PrivateDesktop.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t child = 0;

void forward(int signal) {
    if (child > 0)
        ::kill(child, signal);
}

} // namespace

int main(int argc, char** argv) {
    tivela::PrivateDesktop::Options options;
    int first = 1;
    for (; first < argc; ++first) {
        if (std::strcmp(argv[first], "--no-tray") == 0) {
            options.tray = false;
        } else if (std::strcmp(argv[first], "--size") == 0 && first + 1 < argc &&
                   std::sscanf(argv[first + 1], "%dx%d", &options.width, &options.height) == 2) {
            ++first;
        } else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else {
            break;
        }
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: tivela-desktop-run [--no-tray] [--size WIDTHxHEIGHT] [--] "
                             "PROGRAM [ARGS...]\n");
        return 2;
    }

    tivela::PrivateDesktop desktop;
    if (!desktop.start(options)) {
        std::fprintf(stderr, "tivela-desktop-run: %s\n", qPrintable(desktop.error()));
        return 1;
    }
    desktop.enter();
    qputenv("QT_QPA_PLATFORM", "xcb");

    struct sigaction action {};
    action.sa_handler = forward;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::execvp(argv[first], argv + first);
        std::fprintf(stderr, "tivela-desktop-run: cannot run %s\n", argv[first]);
        ::_exit(127);
    }
    if (pid < 0) {
        std::fprintf(stderr, "tivela-desktop-run: cannot fork\n");
        return 1;
    }
    child = pid;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    desktop.stop();
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "tivela-desktop-run: %s ended by signal %d\n", argv[first],
                     WTERMSIG(status));
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}
