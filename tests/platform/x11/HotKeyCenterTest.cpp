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
        EXPECT_TRUE(QTest::qWaitFor([&] { return actions == expected; }, 10000));
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions == 25; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(actions, 25);
}

// Another program holding a combination in some lock-key states leaves us the others, and the
// key works there; holding it in all, it leaves the current grab as it was.
TEST_F(HotKeyCenterTest, AnotherProgramsStatesStayItsOwnAndTheRestAreKept) {
    const Shortcut j{38, Shortcut::control | Shortcut::option};
    const Shortcut k{40, Shortcut::control | Shortcut::option};
    const auto pressK = [this](bool numLock) {
        if (numLock)
            toggle(FakeInput::numLock);
        FakeInput::chord(input, {FakeInput::control, FakeInput::alt, 0x6b});
        if (numLock)
            toggle(FakeInput::numLock);
    };
    KeyHolder other;
    ASSERT_TRUE(other.hold(j));
    EXPECT_FALSE(center.registerShortcut(j));
    EXPECT_EQ(center.lastError(), XCB_ACCESS);
    EXPECT_EQ(center.held(), Shortcut::defaultShortcut());
    EXPECT_EQ(center.refusedLocks(), 0);
    press();
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions == 1; }, 10000)) << "Ctrl+Alt+T was let go";

    ASSERT_TRUE(other.hold(k, {KeyHolder::numLock}));
    EXPECT_FALSE(center.registerShortcut(k));
    EXPECT_EQ(center.held(), k);
    EXPECT_EQ(center.refusedLocks(), HotKeyCenter::numLock);
    // The old combination went back to the server in every state.
    EXPECT_TRUE(other.hold(Shortcut::defaultShortcut()));
    // With Num Lock on the key is the other program's; without, ours. Queued in order: a press
    // of the first reaching us would count before the second's.
    pressK(true);
    pressK(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return actions >= 2; }, 10000)) << "Ctrl+Alt+K never acted";
    EXPECT_EQ(actions, 2);

    other.releaseAll();
    EXPECT_TRUE(center.registerShortcut(k));
    EXPECT_EQ(center.refusedLocks(), 0);
    pressK(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions == 3; }, 10000));
}

TEST_F(HotKeyCenterTest, RegisteringAgainReplacesAndUnregisteringStops) {
    EXPECT_TRUE(center.registerShortcut(Shortcut::defaultShortcut()));
    EXPECT_EQ(Shortcut::defaultShortcut().display(), u"Ctrl+Alt+T");
    press();
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions == 1; }, 10000));
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
