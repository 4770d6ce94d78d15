// The self-test of an installed copy on a private desktop: the shortcut, Services, browser
// manifest, URL scheme and selection are tested for real, and only what another program takes
// fails.
#include "core/Lexicon.h"
#include "platform/desktop/SchemeHandler.h"
#include "platform/x11/Shortcut.h"
#include "platform/x11/XConnection.h"
#include "support/CheckBundle.h"
#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <xcb/xcb.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

const QString installedID = u"dev.quorvanta.Tivela"_s;

class SelfTestDesktopTest : public ::testing::Test {
protected:
    CheckBundle bundle{World::root() + u"/Tivela"_s, installedID};

    void SetUp() override {
        ASSERT_TRUE(bundle.isValid());
        // An installed copy tests the packs it has; its data folder is not this test's.
        const QString lexicon =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            u"/Tivela/Lexicon/"_s;
        // One installed browser, for the host's manifest.
        ASSERT_TRUE(
            QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                          u"/chromium"_s));
        const auto packs = checkPacks();
        for (const QString& code : {u"en"_s, u"ru"_s, u"es"_s})
            ASSERT_TRUE(writeFile(lexicon + Lexicon::fileName(code), packs.at(code)));
        SchemeHandler scheme(bundle.program(), installedID);
        std::optional<bool> installed;
        QObject::connect(&scheme, &SchemeHandler::finished, [&](bool ok) { installed = ok; });
        scheme.install();
        ASSERT_TRUE(waitUntil([&] { return installed.has_value(); }, 20000));
        ASSERT_TRUE(*installed);
    }

    // The checks that failed, with their details.
    QJsonObject failures() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The desktop's own platform: the shortcut is grabbed through Qt's X11 connection.
        environment.remove(u"QT_QPA_PLATFORM"_s);
        ProcessResult run;
        const QJsonObject report = bundle.selfTest(environment, &run);
        EXPECT_TRUE(run.finished) << run.err.toStdString();
        EXPECT_EQ(report.value(u"total"_s), 40);
        const QJsonObject failed = CheckBundle::failures(report);
        EXPECT_EQ(run.exitCode, failed.isEmpty() ? 0 : 1);
        return failed;
    }
};

} // namespace

TEST_F(SelfTestDesktopTest, EveryCheckOfTheInstalledCopyPasses) {
    EXPECT_EQ(failures(), QJsonObject());
}

TEST_F(SelfTestDesktopTest, AnotherProgramHoldingTheShortcutFailsOnlyItsCheck) {
    XConnection other;
    const auto key = Shortcut::defaultShortcut().xKeycode();
    ASSERT_TRUE(key);
    xcb_grab_key(other.get(), 0, other.root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, *key,
                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    free(xcb_get_input_focus_reply(other.get(), xcb_get_input_focus(other.get()), nullptr));

    const QString name = u"shortcut: "_s + Shortcut::defaultShortcut().display() + u" registers"_s;
    EXPECT_EQ(failures(), (QJsonObject{{name, u"X error 10"_s}}));
}
