#include "platform/desktop/SignalPipe.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tivela {
namespace {

constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};
int pipeFds[2] = {-1, -1};

void onSignal(int signal) {
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalPipe::SignalPipe(QObject* parent)
    : QObject(parent) {
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalPipe::readSignals);
    struct sigaction action {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : handled)
        ::sigaction(signal, &action, nullptr);
}

// The handlers stay: a signal after the loop has ended asks for the end already under way, and
// a burst of them, as a session ending sends, must not kill the process while it tears down.
SignalPipe::~SignalPipe() = default;

void SignalPipe::readSignals() {
    char bytes[16];
    bool any = false;
    while (::read(pipeFds[0], bytes, sizeof bytes) > 0)
        any = true;
    if (any)
        QCoreApplication::exit(0);
}

} // namespace tivela
