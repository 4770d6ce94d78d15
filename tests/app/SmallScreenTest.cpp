// The staged program on a small screen (1024 x 640) at a large text size (QT_FONT_DPI=168,
// which makes it 585 x 365 of Qt's pixels), as a person with a small laptop and a large font
// has it.
#include "core/Paths.h"
#include "support/TestWorld.h"
#include "support/x11/XWindows.h"

#include <QProcess>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace tivela::test::XWindows;
using namespace Qt::StringLiterals;

namespace {

constexpr int slow = 20000;

QProcessEnvironment largeText() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_FONT_DPI"_s, u"168"_s);
    return environment;
}

// Hands a tivela: link to the running program, as a second start does.
bool open(const QString& url) {
    QProcess link;
    link.setProcessEnvironment(largeText());
    link.start(stageDir() + u"/bin/tivela"_s, {url});
    return link.waitForFinished(slow) && link.exitCode() == 0;
}

} // namespace

// Every window it opens lies inside the work area with its frame, so its title bar can be
// reached; the popover hangs under its tray icon, never over the icon's panel, with its whole
// height (and so its tab bar at the bottom) on screen.
TEST(SmallScreenTest, EveryWindowFitsTheWorkAreaWithItsFrame) {
    SharedSettings::setPair(LanguagePair{u"en"_s, u"es"_s});
    Paths::standardDefaults()->setValue(u"launchedBefore"_s, true);
    Paths::defaults()->remove(u"shortcutDisplay"_s);
    QProcess app;
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.setProcessEnvironment(largeText());
    app.start(stageDir() + u"/bin/tivela"_s);
    ASSERT_TRUE(app.waitForStarted());
    ASSERT_TRUE(stagedProgramUp(slow, &app));
    XConnection x;
    xcb_window_t icon = XCB_WINDOW_NONE;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (icon = trayIcon(x, x.root())); }, slow));
    const QRect area = workArea(x);
    ASSERT_EQ(area.size(), QSize(1024, 640));

    const auto outer = [&](xcb_window_t window) {
        return frameOf(x, window).marginsAdded(frameExtents(x, window));
    };
    const std::pair<QString, QString> windows[] = {
        {u"tivela://open"_s, u"Tivela"_s},
        {u"tivela://settings"_s, u"Tivela Settings"_s},
        {u"tivela://download?from=en&to=es"_s, u"Install Languages"_s},
    };
    for (const auto& [url, title] : windows) {
        SCOPED_TRACE(title.toStdString());
        ASSERT_TRUE(open(url));
        xcb_window_t window = XCB_WINDOW_NONE;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (window = titledWindows(x).value(title)); }, slow))
            << titledWindows(x).keys().join(u" | "_s).toStdString();
        // Once the window manager has framed it, and Tivela fitted it again.
        EXPECT_TRUE(QTest::qWaitFor([&] { return area.contains(outer(window)); }, slow))
            << outer(window).x() << "," << outer(window).y() << " " << outer(window).width() << "x"
            << outer(window).height();
        if (title == u"Tivela"_s) {
            EXPECT_GT(frameOf(x, window).top(), frameOf(x, icon).bottom());
            EXPECT_GT(frameOf(x, window).height(), 300);
        }
    }
    app.terminate();
    EXPECT_TRUE(app.waitForFinished(slow));
}
