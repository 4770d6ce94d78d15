// The tray icon on a private desktop that has no tray.
#include "app/TrayIcon.h"
#include "core/Paths.h"
#include "support/FakeAppServices.h"
#include "support/FakeDesktop.h"
#include "support/TestWorld.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

// Without a tray the icon waits, as a popover asked for at launch does, then says it has none;
// it holds no popover back and gives no anchor, so the popover opens centred.
TEST(TrayIconTest, WithoutATrayItSaysSoOnceTheLaunchsWaitIsOver) {
    const auto time = std::make_shared<VirtualTime>();
    TrayIcon icon(time, [time] { return time->now(); });
    QSignalSpy missing(&icon, &TrayIcon::missing);
    icon.lookForTray();
    time->advance(int(TrayIcon::dockSeconds * 1000) - 1);
    EXPECT_TRUE(missing.isEmpty());
    time->advance(1);
    EXPECT_EQ(missing.size(), 1);
    EXPECT_FALSE(icon.waitForDock([] {}));
    EXPECT_EQ(icon.anchor(), std::nullopt);
}

// Started at login where no tray ever comes, Tivela shows nothing: the desktop's notifications
// say it runs and how to open it, the first time in a session only; standard error says it at
// every start.
TEST(TrayIconTest, AStartWithoutATrayTellsTheDesktopOncePerSession) {
    Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
    Paths::standardDefaults()->remove(u"shownInSession"_s);
    FakeDesktop desktop({u"notifications"_s});
    ASSERT_TRUE(desktop.isRunning());
    for (int start = 0; start < 2; ++start) {
        SCOPED_TRACE(start);
        Paths::defaults()->remove(u"shortcutDisplay"_s);
        QProcess app;
        app.start(stageDir() + u"/bin/tivela"_s);
        ASSERT_TRUE(app.waitForStarted());
        QByteArray said;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                said += app.readAllStandardError();
                return said.contains("has no tray");
            },
            20000))
            << said.toStdString();
        EXPECT_EQ(desktop.notes(),
                  QStringList{u"Tivela is running\nThis desktop has no tray for its icon. To open "
                              u"Tivela, press Ctrl+Alt+T with nothing selected, or start it again "
                              u"from your desktop\u2019s menu or with the command tivela."_s});
        app.terminate();
        EXPECT_TRUE(app.waitForFinished(20000));
    }
}
