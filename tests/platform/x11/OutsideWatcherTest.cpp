#include "platform/x11/OutsideWatcher.h"
#include "platform/x11/Activation.h"
#include "support/x11/FakeXApp.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

class OutsideWatcherTest : public ::testing::Test {
protected:
    void click(int button) {
        FakeInput::button(input, button, true);
        FakeInput::button(input, button, false);
    }
    // Waits for the releases to come.
    bool readUntil(const QSignalSpy& spy, qsizetype count) {
        return QTest::qWaitFor([&] { return spy.count() >= count; }, 10000);
    }

    XConnection input;
    OutsideWatcher watcher;
    QSignalSpy pressed{&watcher, &OutsideWatcher::buttonPressed};
    QSignalSpy released{&watcher, &OutsideWatcher::buttonReleased};
};

} // namespace

TEST_F(OutsideWatcherTest, ReportsButtonsSinceTheStartButNotTheWheel) {
    FakeXApp app;
    FakeInput::moveTo(input, 150, 150);
    // The click that opened the popover is under way when watching starts.
    FakeInput::button(input, 1, true);
    ASSERT_TRUE(watcher.start());
    EXPECT_TRUE(watcher.buttonHeld());
    FakeInput::button(input, 1, false);
    ASSERT_TRUE(readUntil(released, 1)) << "the release never came";
    EXPECT_EQ(pressed.count(), 0);
    EXPECT_EQ(released.count(), 1);
    EXPECT_FALSE(watcher.buttonHeld());

    for (const int wheel : {4, 5, 6, 7})
        click(wheel);
    click(3);
    click(1);
    ASSERT_TRUE(readUntil(released, 3)) << "the last release never came";
    EXPECT_EQ(pressed.count(), 2);
    EXPECT_EQ(released.count(), 3);

    watcher.stop();
    click(1);
    // Nothing comes now: the only bound a test can give is how long it looks.
    EXPECT_FALSE(QTest::qWaitFor([&] { return pressed.count() > 2; }, 300));
}

TEST_F(OutsideWatcherTest, TellsEachWindowComingToTheFront) {
    ASSERT_TRUE(watcher.start());
    QSignalSpy activated(&watcher, &OutsideWatcher::activeWindowChanged);
    FakeXApp::Options options;
    options.pid = 777;
    FakeXApp app(options);
    ASSERT_TRUE(app.activate());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !activated.isEmpty(); }));
    EXPECT_EQ(activated.last(), (QList<QVariant>{app.window(), qint64(777), u"FakeApp"_s}));

    QWidget ours;
    ours.resize(200, 100);
    ours.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ours));
    Activation::requestFront(ours.windowHandle());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return activated.last().first().toUInt() == quint32(ours.winId()); }));
    EXPECT_EQ(activated.last().at(1).toLongLong(), QCoreApplication::applicationPid());
}
