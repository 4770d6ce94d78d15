#include "platform/x11/Activation.h"
#include "support/x11/FakeXApp.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

// A popover-like window: frameless, on top, no taskbar entry of Qt's own.
std::unique_ptr<QWidget> toolWindow() {
    auto window = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint |
                                                         Qt::WindowStaysOnTopHint);
    window->resize(420, 600);
    return window;
}

QList<QByteArray> states(XConnection& connection, QWidget& window) {
    QList<QByteArray> names;
    const XReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection.get(),
        xcb_get_property(connection.get(), 0, xcb_window_t(window.winId()),
                         connection.atom("_NET_WM_STATE"), XCB_ATOM_ATOM, 0, 64),
        nullptr));
    if (!reply)
        return names;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    for (int i = 0; i < xcb_get_property_value_length(reply.get()) / 4; ++i)
        names.append(connection.atomName(atoms[i]));
    return names;
}

} // namespace

TEST(ActivationTest, FrontmostNamesTheProgramInFront) {
    FakeXApp::Options options;
    options.pid = 4242;
    FakeXApp app(options);
    ASSERT_TRUE(app.activate());
    const auto front = Activation::frontmost();
    ASSERT_TRUE(front);
    EXPECT_EQ(*front, (Activation::FrontApplication{app.window(), 4242, u"FakeApp"_s}));
}

TEST(ActivationTest, AskingForTheFrontWinsOverAnotherProgramsFocus) {
    auto window = toolWindow();
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    FakeXApp app;
    ASSERT_TRUE(app.activate());
    QTest::qWait(50);
    EXPECT_NE(QApplication::activeWindow(), window.get());

    Activation::requestFront(window->windowHandle());
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == window.get(); }));
    // The window manager names the front window after the keyboard moved.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const auto front = Activation::frontmost();
        return front && front->window == quint32(window->winId()) &&
               front->pid == QCoreApplication::applicationPid();
    }));
}

TEST(ActivationTest, ToolWindowsStayOffTheTaskbarAcrossHideAndShow) {
    XConnection connection;
    auto window = toolWindow();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        window->winId();
        Activation::keepOffTaskbar(window->windowHandle());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const auto now = states(connection, *window);
            return now.contains("_NET_WM_STATE_SKIP_TASKBAR") &&
                   now.contains("_NET_WM_STATE_SKIP_PAGER") && now.contains("_NET_WM_STATE_ABOVE");
        }));
        window->hide();
        QTest::qWait(50);
    }
    // A shown window is asked for through the window manager.
    auto shown = toolWindow();
    shown->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown.get()));
    Activation::keepOffTaskbar(shown->windowHandle());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return states(connection, *shown).contains("_NET_WM_STATE_SKIP_TASKBAR"); }));
}
