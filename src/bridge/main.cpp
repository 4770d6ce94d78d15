// tivela-bridge: the native-messaging host the browser starts for the Tivela extension.
#include "bridge/BridgeHost.h"
#include "core/Paths.h"
#include "platform/Defaults.h"

#include <QCoreApplication>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    // A closed pipe is the end of the conversation, not a reason to die mid-write.
    std::signal(SIGPIPE, SIG_IGN);

    // The protocol gets private copies of standard input and output; descriptors 0 and 1 then
    // point elsewhere, so nothing a library or child process prints can corrupt a frame.
    const int in = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (in < 0 || out < 0)
        return 0;
    // Not close-on-exec: where standard error is closed, this takes its place, and standard
    // output follows it there rather than staying the channel.
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        if (null > STDERR_FILENO)
            ::close(null);
    }
    ::dup2(STDERR_FILENO, STDOUT_FILENO);

    QCoreApplication app(argc, argv);
    // Its requests answer a write the store refused as failed, so they wait out the
    // application's bursts of writes rather than give up at the first.
    tivela::Store store(tivela::Paths::database(), tivela::Store::burstTimeoutMs);
    const auto& bundle = tivela::Paths::appBundle();
    const QJsonValue version =
        bundle ? bundle->info.value(u"CFBundleShortVersionString"_s) : QJsonValue();
    tivela::BridgeHost host(
        in, out,
        tivela::BridgeServices::production(version.isString() ? version.toString() : u"dev"_s,
                                           store, tivela::Defaults::translator()));
    host.start();
    return app.exec();
}
