// The global shortcut on a private X server, with another program holding combinations the
// person chooses, in every lock-key state or in some.
#include "app/GlobalShortcut.h"
#include "core/Paths.h"
#include "platform/x11/HotKeyCenter.h"
#include "support/TestWorld.h"
#include "support/x11/FakeXApp.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

const Shortcut ctrlAltJ{38, Shortcut::control | Shortcut::option};
const Shortcut ctrlAltK{40, Shortcut::control | Shortcut::option};

class GlobalShortcutTest : public ::testing::Test {
protected:
    GlobalShortcutTest() {
        Paths::standardDefaults()->remove(u"shortcut"_s);
        Paths::defaults()->remove(u"shortcutDisplay"_s);
    }
    ~GlobalShortcutTest() override {
        center.unregister();
        Paths::standardDefaults()->remove(u"shortcut"_s);
    }

    static QString published() { return Paths::defaults()->value(u"shortcutDisplay"_s).toString(); }

    GlobalShortcut& shortcut = GlobalShortcut::shared();
    HotKeyCenter& center = HotKeyCenter::shared();
    KeyHolder other;
};

} // namespace

// A saved shortcut keeps the recorder's rule as it is read, whoever wrote it (by hand, the move
// from the earlier name): without Control, Alt or Super, or on a key no keyboard has, it
// gives way to Control-Alt-T.
TEST_F(GlobalShortcutTest, ASavedShortcutBreakingTheRecordersRuleIsTheDefault) {
    const Shortcut fallback = Shortcut::defaultShortcut();
    const std::pair<QString, Shortcut> table[] = {
        {uR"({"keyCode":17,"modifiers":0})"_s, fallback},
        {uR"({"keyCode":17,"modifiers":512})"_s, fallback},
        {uR"({"keyCode":17,"modifiers":65536})"_s, fallback},
        {uR"({"keyCode":200,"modifiers":4096})"_s, fallback},
        {u"not json"_s, fallback},
        {uR"({"keyCode":13,"modifiers":4608})"_s, {13, Shortcut::control | Shortcut::shift}},
        {uR"({"keyCode":49,"modifiers":256})"_s, {49, Shortcut::command}},
    };
    for (const auto& [stored, expected] : table) {
        Paths::standardDefaults()->setValue(u"shortcut"_s, stored);
        EXPECT_EQ(GlobalShortcut::saved(), expected) << stored.toStdString();
    }
    Paths::standardDefaults()->setValue(u"shortcut"_s, table[0].first);
    shortcut.registerSaved();
    EXPECT_EQ(center.held(), fallback);
    EXPECT_EQ(published(), u"Ctrl+Alt+T"_s);
}

// Recording a combination another program holds in every lock-key state leaves the person the
// shortcut they had: saved, held and published, with the refused one named in the settings.
// One it holds in some states is taken where it can be had, and the held part is named.
TEST_F(GlobalShortcutTest, AChoiceThatCannotBeHadNeverLeavesThePersonWithout) {
    shortcut.registerSaved();
    ASSERT_EQ(center.held(), Shortcut::defaultShortcut());

    ASSERT_TRUE(other.hold(ctrlAltJ));
    // The recording released the hot key first.
    shortcut.suspend();
    EXPECT_FALSE(shortcut.choose(ctrlAltJ));
    EXPECT_EQ(GlobalShortcut::saved(), Shortcut::defaultShortcut());
    EXPECT_EQ(center.held(), Shortcut::defaultShortcut());
    EXPECT_EQ(center.refusedLocks(), 0);
    EXPECT_EQ(published(), u"Ctrl+Alt+T"_s);
    EXPECT_EQ(shortcut.problem(), QString());
    EXPECT_EQ(shortcut.settingsProblem(), u"Ctrl+Alt+J is in use by another application."_s);

    ASSERT_TRUE(other.hold(ctrlAltK, {KeyHolder::numLock}));
    EXPECT_TRUE(shortcut.choose(ctrlAltK));
    EXPECT_EQ(GlobalShortcut::saved(), ctrlAltK);
    EXPECT_EQ(center.held(), ctrlAltK);
    EXPECT_EQ(published(), u"Ctrl+Alt+K"_s);
    const QString numLockHeld = u"In use by another application with Num Lock on."_s;
    EXPECT_EQ(shortcut.settingsProblem(), numLockHeld);
    EXPECT_EQ(shortcut.popoverProblem(), numLockHeld + u" Choose another in Settings."_s);

    // Once the other program lets go, the next try holds every state.
    other.releaseAll();
    shortcut.retry();
    EXPECT_EQ(center.refusedLocks(), 0);
    EXPECT_EQ(shortcut.problem(), QString());
    EXPECT_EQ(shortcut.settingsProblem(), QString());
}

// A saved shortcut another program holds at start is said to be in use, everywhere; tries
// while the other program holds it change nothing, and the first after it let go holds it.
TEST_F(GlobalShortcutTest, ASavedShortcutHeldAtStartIsTriedAgain) {
    ASSERT_TRUE(other.hold(Shortcut::defaultShortcut()));
    shortcut.registerSaved();
    EXPECT_EQ(center.held(), std::nullopt);
    EXPECT_EQ(published(), u"Ctrl+Alt+T"_s);
    EXPECT_EQ(shortcut.settingsProblem(), u"In use by another application."_s);
    EXPECT_EQ(shortcut.popoverProblem(),
              u"In use by another application. Choose another in Settings."_s);
    shortcut.retry();
    EXPECT_EQ(center.held(), std::nullopt);

    other.releaseAll();
    shortcut.retry();
    EXPECT_EQ(center.held(), Shortcut::defaultShortcut());
    EXPECT_EQ(shortcut.popoverProblem(), QString());
    EXPECT_EQ(shortcut.heldJson(), uR"({"keyCode":17,"modifiers":6144})"_s);
}
