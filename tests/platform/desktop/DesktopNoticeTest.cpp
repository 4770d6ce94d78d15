// Notes through the desktop's notification service, on a private session bus.
#include "platform/desktop/DesktopNotice.h"
#include "core/Paths.h"
#include "platform/x11/PrivateDesktop.h"
#include "support/FakeDesktop.h"
#include "support/TestWorld.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

// However many ask at once, a note shows once while the session lasts; a session that had no
// service to show it, or an earlier session, is no reason to keep it back.
TEST(DesktopNoticeTest, ANoteShowsOnceWhileTheSessionLasts) {
    PrivateDesktop bus;
    ASSERT_TRUE(bus.start({.display = false, .tray = false, .bus = true}))
        << bus.error().toStdString();
    bus.enter();
    Paths::standardDefaults()->remove(u"shownInSession"_s);
    const auto ask = [](int times) {
        QList<QFuture<bool>> answers;
        for (int i = 0; i < times; ++i)
            answers << DesktopNotice::showOncePerSession(u"noTray"_s, u"Tivela"_s, u"body"_s);
        EXPECT_TRUE(waitUntil([&] {
            return std::all_of(answers.cbegin(), answers.cend(),
                               [](const QFuture<bool>& answer) { return answer.isFinished(); });
        }));
        return int(std::count_if(answers.cbegin(), answers.cend(),
                                 [](const QFuture<bool>& answer) { return answer.result(); }));
    };
    // A session without the service: nothing shows, and nothing is remembered.
    EXPECT_EQ(ask(3), 0);

    FakeDesktop desktop({u"notifications"_s});
    ASSERT_TRUE(desktop.isRunning());
    EXPECT_EQ(ask(20), 1);
    EXPECT_EQ(ask(1), 0);
    EXPECT_EQ(desktop.notes(), QStringList{u"Tivela\nbody"_s});

    Paths::standardDefaults()->setValue(u"shownInSession/noTray"_s, u"an earlier session"_s);
    EXPECT_EQ(ask(1), 1);
    EXPECT_EQ(desktop.notes().size(), 2);
}
