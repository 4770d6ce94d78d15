#include "platform/x11/HotKeyCenter.h"
#include "support/x11/FakeXApp.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

class HotKeyCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        center.setAction([this] { ++actions; });
        ASSERT_TRUE(center.registerShortcut(Shortcut::defaultShortcut()));
    }
    void TearDown() override {
        center.unregister();
        center.setAction({});
    }

    // Control-Alt-T, with the T held for a while.
    void press(int holdMs = 0) {
        using namespace FakeInput;
        key(input, control, true);
        key(input, alt, true);
        key(input, letterT, true);
        QTest::qWait(holdMs);
        key(input, letterT, false);
        key(input, alt, false);
        key(input, control, false);
    }
    void toggle(xcb_keysym_t lock) { FakeInput::chord(input, {lock}); }

    HotKeyCenter& center = HotKeyCenter::shared();
    XConnection input;
    int actions = 0;
};

} // namespace

TEST_F(HotKeyCenterTest, OneActionPerHoldUnderEveryLock) {
    const QList<QList<xcb_keysym_t>> lockSets{
        {}, {FakeInput::capsLock}, {FakeInput::numLock}, {FakeInput::capsLock, FakeInput::numLock}};
    int expected = 0;
    for (const QList<xcb_keysym_t>& locks : lockSets) {
        SCOPED_TRACE(locks.size());
        for (const xcb_keysym_t lock : locks)
            toggle(lock);
        // Held past the auto-repeat delay: the key repeats, the action does not.
        press(1200);
        ++expected;
        EXPECT_TRUE(QTest::qWaitFor([&] { return actions == expected; }, 2000));
        QTest::qWait(100);
        EXPECT_EQ(actions, expected);
        for (const xcb_keysym_t lock : locks)
            toggle(lock);
    }
}

TEST_F(HotKeyCenterTest, EveryPressOfABurstActsOnce) {
    for (int i = 0; i < 25; ++i) {
        press();
        // A person cannot press twice within one millisecond of the server's clock.
        QThread::msleep(3);
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions == 25; }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(actions, 25);
}

TEST_F(HotKeyCenterTest, AClashLeavesNoGrabAndReportsBadAccess) {
    center.unregister();
    // Another program holds only the Num Lock variant of the combination.
    XConnection other;
    const quint16 combination = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
    const auto key = Shortcut::defaultShortcut().xKeycode();
    ASSERT_TRUE(key);
    const XReply<xcb_generic_error_t> held(xcb_request_check(
        other.get(),
        xcb_grab_key_checked(other.get(), 0, other.root(), combination | XCB_MOD_MASK_2, *key,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
    ASSERT_FALSE(held);

    EXPECT_FALSE(center.registerShortcut(Shortcut::defaultShortcut()));
    EXPECT_EQ(center.lastError(), XCB_ACCESS);
    EXPECT_FALSE(center.isRegistered());
    // The variants we were granted went back: the other program can take them all.
    for (const int lock : {0, int(XCB_MOD_MASK_LOCK), XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2}) {
        const XReply<xcb_generic_error_t> taken(xcb_request_check(
            other.get(), xcb_grab_key_checked(other.get(), 0, other.root(), combination | lock,
                                              *key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        EXPECT_FALSE(taken) << lock;
    }
    press();
    QTest::qWait(200);
    EXPECT_EQ(actions, 0);

    xcb_ungrab_key(other.get(), XCB_GRAB_ANY, other.root(), XCB_MOD_MASK_ANY);
    free(xcb_get_input_focus_reply(other.get(), xcb_get_input_focus(other.get()), nullptr));
    EXPECT_TRUE(center.registerShortcut(Shortcut::defaultShortcut()));
    EXPECT_EQ(center.lastError(), 0);
}

TEST_F(HotKeyCenterTest, RegisteringAgainReplacesAndUnregisteringStops) {
    EXPECT_TRUE(center.registerShortcut(Shortcut::defaultShortcut()));
    EXPECT_EQ(Shortcut::defaultShortcut().display(), u"Ctrl+Alt+T");
    press();
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions == 1; }, 2000));
    center.unregister();
    press();
    QTest::qWait(200);
    EXPECT_EQ(actions, 1);
}

TEST(ShortcutOnX11, KeysAreNamedByTheFirstLayoutThatTypesAscii) {
    const auto layout = [](const QString& layouts) {
        return QProcess::execute(u"setxkbmap"_s, {u"-layout"_s, layouts}) == 0;
    };
    ASSERT_TRUE(layout(u"de"_s));
    // The key right of T types Z on a German keyboard; the one stored as Y.
    EXPECT_TRUE(QTest::qWaitFor([] {
        return (Shortcut{16, Shortcut::control}.display()) == u"Ctrl+Z";
    }));
    ASSERT_TRUE(layout(u"ru,us"_s));
    // Russian types Cyrillic there: the US layout names it.
    EXPECT_EQ(Shortcut::defaultShortcut().display(), u"Ctrl+Alt+T");
    EXPECT_EQ((Shortcut{49, Shortcut::control}.display()), u"Ctrl+Space");
    ASSERT_TRUE(layout(u"us"_s));
}
