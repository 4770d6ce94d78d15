#include "platform/x11/Shortcut.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

struct Shown {
    Shortcut shortcut;
    const char16_t* text;
};

class ShortcutDisplay : public ::testing::TestWithParam<Shown> {};

} // namespace

// Off an X server (offscreen), keys are named as a US keyboard names them.
TEST_P(ShortcutDisplay, IsQtsNativeText) {
    EXPECT_EQ(GetParam().shortcut.display(), QString::fromUtf16(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShortcutDisplay,
    ::testing::Values(Shown{Shortcut::defaultShortcut(), u"Ctrl+Alt+T"},
                      Shown{{49, Shortcut::command | Shortcut::shift}, u"Meta+Shift+Space"},
                      Shown{{96, Shortcut::control | Shortcut::option | Shortcut::command},
                            u"Meta+Ctrl+Alt+F5"},
                      Shown{{36, Shortcut::control}, u"Ctrl+Return"},
                      Shown{{43, Shortcut::control}, u"Ctrl+,"},
                      Shown{{10, Shortcut::control}, u"Ctrl+?"},
                      Shown{{Shortcut::extendedKeys + 191, Shortcut::option}, u"Alt+?"}));

TEST(ShortcutTest, JsonKeepsTheStoredNumbersAndRefusesAnythingElse) {
    const QJsonObject json = toJson(Shortcut::defaultShortcut());
    EXPECT_EQ(QJsonDocument(json).toJson(QJsonDocument::Compact),
              R"({"keyCode":17,"modifiers":6144})");
    EXPECT_EQ(fromJson<Shortcut>(json), Shortcut::defaultShortcut());
    const Shortcut widest{4294967295u, 4294967295u};
    EXPECT_EQ(fromJson<Shortcut>(toJson(widest)), widest);
    for (const char* bad :
         {R"({"keyCode":17})", R"({"modifiers":6144})", R"({"keyCode":"17","modifiers":6144})",
          R"({"keyCode":17.5,"modifiers":6144})", R"({"keyCode":-1,"modifiers":6144})",
          R"({"keyCode":17,"modifiers":4294967296})", R"({"keyCode":null,"modifiers":6144})"})
        EXPECT_EQ(fromJson<Shortcut>(QJsonDocument::fromJson(bad).object()), std::nullopt) << bad;
}

TEST(ShortcutTest, KeyPressesNeedControlAltOrSuper) {
    // T, by its X keycode.
    EXPECT_EQ(Shortcut::fromKeyPress(28, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier),
              Shortcut::defaultShortcut());
    EXPECT_EQ(Shortcut::fromKeyPress(28, Qt::Key_T, Qt::ShiftModifier), std::nullopt);
    EXPECT_EQ(Shortcut::fromKeyPress(28, Qt::Key_T, Qt::NoModifier), std::nullopt);
    EXPECT_EQ(Shortcut::fromKeyPress(65, Qt::Key_Space, Qt::MetaModifier | Qt::ShiftModifier),
              (Shortcut{49, Shortcut::command | Shortcut::shift}));
    // No X keycode (offscreen): Qt's key on a US keyboard.
    EXPECT_EQ(Shortcut::fromKeyPress(0, Qt::Key_C, Qt::ControlModifier),
              (Shortcut{8, Shortcut::control}));
    EXPECT_EQ(Shortcut::fromKeyPress(0, Qt::Key_Launch0, Qt::ControlModifier), std::nullopt);
    // A key outside the table is kept by its X keycode and maps back to it.
    const auto media = Shortcut::fromKeyPress(172, Qt::Key_MediaPlay, Qt::ControlModifier);
    ASSERT_TRUE(media);
    EXPECT_EQ(media->keyCode, Shortcut::extendedKeys + 172);
    EXPECT_EQ(media->xKeycode(), 172);
}

TEST(ShortcutTest, EveryTableKeyRoundTripsThroughItsXKeycode) {
    EXPECT_EQ(Shortcut::defaultShortcut().xKeycode(), 28);
    EXPECT_EQ((Shortcut{8, 0}.xKeycode()), 54);
    EXPECT_EQ(Shortcut::defaultShortcut().xModifiers(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
    EXPECT_EQ((Shortcut{0, Shortcut::command | Shortcut::shift}.xModifiers()),
              XCB_MOD_MASK_4 | XCB_MOD_MASK_SHIFT);
    for (quint32 code = 0; code < 128; ++code) {
        const auto xKeycode = Shortcut{code, 0}.xKeycode();
        if (!xKeycode)
            continue;
        EXPECT_EQ(Shortcut::fromKeyPress(*xKeycode, 0, Qt::ControlModifier),
                  (Shortcut{code, Shortcut::control}))
            << code;
        EXPECT_NE(Shortcut::keyName(code), u"?") << code;
    }
    EXPECT_EQ((Shortcut{200, 0}.xKeycode()), std::nullopt);
    EXPECT_EQ((Shortcut{Shortcut::extendedKeys + 300, 0}.xKeycode()), std::nullopt);
}
