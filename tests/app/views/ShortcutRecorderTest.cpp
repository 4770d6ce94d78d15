#include "app/views/ShortcutRecorder.h"
#include "app/views/SettingsModel.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "platform/Defaults.h"
#include "platform/x11/Activation.h"
#include "platform/x11/HotKeyCenter.h"
#include "support/x11/FakeXApp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

constexpr xcb_keysym_t control = 0xffe3;
constexpr xcb_keysym_t alt = 0xffe9;
constexpr xcb_keysym_t t = 0x74;
constexpr xcb_keysym_t k = 0x6b;
constexpr xcb_keysym_t j = 0x6a;

// The settings model on the production hot key, with the saved shortcut kept here.
class ShortcutRecorderTest : public ::testing::Test {
protected:
    SettingsServices services() {
        SettingsServices services = SettingsServices::production();
        services.downloader = &downloader;
        services.translator = &translator;
        services.browsers = [this] { return BrowserIntegration(dir.path(), dir.path()); };
        services.savedShortcut = [this] { return saved; };
        return services;
    }
    // A window of ours in front, as the settings window is while recording.
    void front() {
        window.resize(200, 100);
        window.show();
        Activation::requestFront(window.windowHandle());
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }));
    }

    HotKeyCenter& center = HotKeyCenter::shared();
    QTemporaryDir dir;
    Lexicon lexicon{dir.filePath(u"Lexicon"_s)};
    LexiconDownloader downloader{lexicon, std::nullopt};
    Translator translator{Defaults::engine()};
    Shortcut saved = Shortcut::defaultShortcut();
    QWidget window;
    XConnection input;
};

} // namespace

// On a real X server: the current shortcut pressed while recording is recorded rather than
// fired, and the recorded combination is grabbed as the new global hot key.
TEST_F(ShortcutRecorderTest, RecordsThroughTheServerAndGrabsTheRecordedKeys) {
    int actions = 0;
    center.setAction([&] { ++actions; });
    ASSERT_TRUE(center.registerShortcut(saved));
    SettingsServices recording = services();
    recording.applyShortcut = [&](const Shortcut& shortcut) {
        saved = shortcut;
        center.registerShortcut(shortcut);
    };
    SettingsModel settings(recording);
    ShortcutRecorder recorder(settings);
    front();

    settings.setRecording(true);
    FakeInput::chord(input, {control, alt, t});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !settings.recording(); }, 10000));
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(saved.display(), u"Ctrl+Alt+T"_s);

    settings.setRecording(true);
    EXPECT_FALSE(center.isRegistered());
    FakeInput::chord(input, {control, alt, k});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !settings.recording(); }, 10000));
    EXPECT_EQ(saved.display(), u"Ctrl+Alt+K"_s);
    EXPECT_TRUE(center.isRegistered());
    EXPECT_EQ(settings.shortcutProblem(), QString());

    // The new combination acts from anywhere; the old one no longer does.
    window.hide();
    FakeInput::chord(input, {control, alt, k});
    EXPECT_TRUE(QTest::qWaitFor([&] { return actions == 1; }, 10000));
    FakeInput::chord(input, {control, alt, t});
    QTest::qWait(200);
    EXPECT_EQ(actions, 1);
    center.unregister();
    center.setAction({});
}

// The model is made before the hot key is registered: a combination another program holds at
// start is reported as soon as the registration fails, and cleared once it holds again.
TEST_F(ShortcutRecorderTest, TheSettingsTellTheRegistrationsOutcomeWheneverItChanges) {
    center.unregister();
    SettingsModel settings(services());
    EXPECT_EQ(settings.shortcutProblem(), QString());

    KeyHolder other;
    ASSERT_TRUE(other.hold(saved));
    EXPECT_FALSE(center.registerShortcut(saved));
    EXPECT_EQ(settings.shortcutProblem(), u"In use by another application."_s);

    other.releaseAll();
    // Registered again from elsewhere (the recorder's Escape, a second try): the model follows.
    saved = Shortcut{40, Shortcut::control | Shortcut::option};
    EXPECT_TRUE(center.registerShortcut(saved));
    EXPECT_EQ(settings.shortcutProblem(), QString());
    EXPECT_EQ(settings.shortcut(), saved);
    center.unregister();
}

// A combination another program holds never reaches the recorder: the server hands its key to
// the holder. Its modifiers do come, and the recorder says, after a short wait for the key,
// that the keys may be held; a combination that does come is recorded as ever.
TEST_F(ShortcutRecorderTest, KeysAnotherProgramHoldsAreSaidToBeHeld) {
    SettingsServices recording = services();
    recording.applyShortcut = [&](const Shortcut& shortcut) { saved = shortcut; };
    SettingsModel settings(recording);
    ShortcutRecorder recorder(settings);
    front();

    KeyHolder other;
    ASSERT_TRUE(other.hold(Shortcut{38, Shortcut::control | Shortcut::option}));
    settings.setRecording(true);
    FakeInput::chord(input, {control, alt, j});
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.keysHeldElsewhere(); }, 10000))
        << "the recorder never said the keys may be held";
    EXPECT_TRUE(settings.recording());
    EXPECT_EQ(saved, Shortcut::defaultShortcut());

    FakeInput::chord(input, {control, alt, k});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !settings.recording(); }, 10000));
    EXPECT_EQ(saved.display(), u"Ctrl+Alt+K"_s);
    EXPECT_FALSE(recorder.keysHeldElsewhere());
}
