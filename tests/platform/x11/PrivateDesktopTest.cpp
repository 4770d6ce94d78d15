#include "platform/x11/PrivateDesktop.h"
#include "platform/x11/XConnection.h"
#include "support/Processes.h"
#include "support/TestWorld.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

bool allEnded(const QList<pid_t>& pids, int timeoutMs) {
    return QTest::qWaitFor([&] { return std::none_of(pids.cbegin(), pids.cend(), isRunning); },
                           timeoutMs);
}

} // namespace

// Starts a desktop, prints its display and programs, and waits to be killed.
TIVELA_TEST_HELPER(holdDesktop) {
    PrivateDesktop desktop;
    if (!desktop.start({}))
        return 1;
    QStringList line{desktop.display()};
    for (const pid_t pid : childProcesses(getpid()))
        line << QString::number(pid);
    std::printf("%s\n", qPrintable(line.join(u' ')));
    std::fflush(stdout);
    ::pause();
    return 0;
}

TEST(PrivateDesktopTest, StartsItsPartsAndLeavesNothingBehind) {
    PrivateDesktop desktop;
    ASSERT_TRUE(desktop.start({})) << qPrintable(desktop.error());
    const QList<pid_t> programs = childProcesses(getpid());
    EXPECT_EQ(programs.size(), 4);
    ASSERT_TRUE(desktop.display().startsWith(u':'));
    const QString socket = u"/tmp/.X11-unix/X"_s + desktop.display().mid(1);
    EXPECT_TRUE(QFile::exists(socket));
    {
        XConnection x(desktop.display().toLocal8Bit());
        ASSERT_TRUE(x.isValid());
        EXPECT_TRUE(
            x.cardinalProperty(x.root(), x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW));
        const XReply<xcb_get_selection_owner_reply_t> tray(xcb_get_selection_owner_reply(
            x.get(), xcb_get_selection_owner(x.get(), x.atom("_NET_SYSTEM_TRAY_S0")), nullptr));
        EXPECT_NE(tray->owner, xcb_window_t(XCB_WINDOW_NONE));
    }
    {
        // The bus starts no service of the person's desktop on demand.
        QDBusConnection bus = QDBusConnection::connectToBus(desktop.busAddress(), u"private"_s);
        ASSERT_TRUE(bus.isConnected());
        EXPECT_EQ(bus.interface()->activatableServiceNames().value(),
                  QStringList{u"org.freedesktop.DBus"_s});
        EXPECT_EQ(bus.interface()->startService(u"org.freedesktop.portal.Desktop"_s).error().type(),
                  QDBusError::ServiceUnknown);
    }
    QDBusConnection::disconnectFromBus(u"private"_s);
    const QProcessEnvironment environment = desktop.environment(QProcessEnvironment());
    EXPECT_EQ(environment.value(u"DISPLAY"_s), desktop.display());
    EXPECT_EQ(environment.value(u"TIVELA_PRIVATE_DESKTOP"_s), desktop.display());
    EXPECT_EQ(environment.value(u"DBUS_SESSION_BUS_ADDRESS"_s), desktop.busAddress());

    desktop.stop();
    EXPECT_TRUE(allEnded(programs, 0));
    EXPECT_FALSE(QFile::exists(socket));
}

TEST(PrivateDesktopTest, EndsWithItsOwnerEvenWhenTheOwnerIsKilled) {
    auto owner = startHelper(u"holdDesktop"_s);
    ASSERT_TRUE(owner->waitForReadyRead(20000));
    const QStringList line = QString::fromLocal8Bit(owner->readLine()).trimmed().split(u' ');
    ASSERT_EQ(line.size(), 5);
    QList<pid_t> programs;
    for (const QString& pid : line.mid(1))
        programs << pid.toInt();
    ::kill(pid_t(owner->processId()), SIGKILL);
    owner->waitForFinished(5000);
    EXPECT_TRUE(allEnded(programs, 5000));
}

TEST(PrivateDesktopTest, SaysWhatIsMissingAndStartsHalfOfNothing) {
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", World::root().toLocal8Bit());
    PrivateDesktop desktop;
    EXPECT_FALSE(desktop.start({}));
    qputenv("PATH", path);
    EXPECT_EQ(desktop.error(), u"Xvfb is not installed"_s);
    EXPECT_TRUE(desktop.display().isEmpty());
    EXPECT_TRUE(childProcesses(getpid()).isEmpty());

    PrivateDesktop::Options busOnly;
    busOnly.display = false;
    ASSERT_TRUE(desktop.start(busOnly));
    EXPECT_TRUE(desktop.display().isEmpty());
    EXPECT_FALSE(desktop.busAddress().isEmpty());
    EXPECT_EQ(childProcesses(getpid()).size(), 1);
}
