#include "app/LaunchMode.h"
#include "support/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using Kind = LaunchMode::Kind;

namespace {

struct Scan {
    QStringList arguments;
    LaunchMode mode;
};

class LaunchModeScan : public ::testing::TestWithParam<Scan> {};

const QString program = u"/opt/tivela/bin/tivela"_s;

} // namespace

TEST_P(LaunchModeScan, TakesTheFirstOptionThatApplies) {
    EXPECT_EQ(LaunchMode::scan(QStringList{program} + GetParam().arguments), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LaunchModeScan,
    ::testing::Values(
        Scan{{}, {Kind::normal, {}, std::nullopt}},
        // A trailing option that needs a value is ignored.
        Scan{{u"--check-keys"_s}, {Kind::normal, {}, std::nullopt}},
        Scan{{u"--check-keys"_s, u"k.json"_s, u"--render-screenshots"_s, u"shots"_s},
             {Kind::renderScreenshots, u"shots"_s, std::nullopt}},
        // The value is whatever follows, even an option.
        Scan{{u"--check-window"_s, u"--check-keys"_s}, {Kind::checkWindow, u"--check-keys"_s, {}}},
        Scan{{u"--check-helper"_s, u"--check-window"_s}, {Kind::checkHelper, {}, std::nullopt}},
        Scan{{u"--check-keys"_s, u"a.json"_s, u"--check-keys"_s, u"b.json"_s},
             {Kind::checkKeys, u"a.json"_s, std::nullopt}},
        Scan{{u"--self-test=report.json"_s}, {Kind::normal, {}, std::nullopt}},
        Scan{{u"--Self-Test"_s, u"x"_s}, {Kind::normal, {}, std::nullopt}},
        Scan{{u"--self-test"_s, u"r.json"_s, u"--check-migration-cleanup"_s},
             {Kind::checkMigrationCleanup, {}, std::nullopt}},
        Scan{{u"--self-test"_s, u"relative/r.json"_s}, {Kind::selfTest, u"relative/r.json"_s, {}}},
        // Qt would take -style and its value for itself; the scan sees them as they are.
        Scan{{u"--render-fit-shots"_s, u"-style"_s, u"fusion"_s},
             {Kind::renderFitShots, u"-style"_s, std::nullopt}},
        Scan{{u"--render-site-shots"_s, u"site"_s}, {Kind::renderSiteShots, u"site"_s, {}}},
        Scan{{u"--check-migration-report"_s}, {Kind::normal, {}, std::nullopt}},
        Scan{{u"--check-migration-report"_s, u"m.txt"_s, u"tivela://translate"_s},
             {Kind::normal, {}, u"m.txt"_s}}));

TEST(LaunchModeTest, TheProgramPathCountsAsAnArgument) {
    EXPECT_EQ(LaunchMode::scan({u"--check-helper"_s}).kind, Kind::checkHelper);
    EXPECT_TRUE(LaunchMode::scan({u"--check-helper"_s}).isCheckOrRender());
    EXPECT_FALSE(LaunchMode::scan({program, u"--check-migration-cleanup"_s}).isCheckOrRender());
}

TEST(LaunchModeTest, TheProgramRunsTheCleanUpAndSaysWhatItCannotDo) {
    const QString program = tivela::test::stageDir() + u"/bin/tivela"_s;
    const QString entry =
        tivela::test::World::root() + u"/config/autostart/dev.quorvanta.Tivela.dev.desktop"_s;
    QDir().mkpath(QFileInfo(entry).path());
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    // No display: these runs need none, and must not see the person's.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    QProcess cleanUp;
    cleanUp.setProcessEnvironment(environment);
    cleanUp.start(program, {u"--check-migration-cleanup"_s, u"--self-test"_s, u"r.json"_s});
    ASSERT_TRUE(cleanUp.waitForFinished(20000));
    EXPECT_EQ(cleanUp.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(entry));

    // The keyboard check without the programs of a display of its own: one record naming the
    // missing one, and nothing of the run on any display.
    const QString report = tivela::test::World::root() + u"/keys.json"_s;
    QProcessEnvironment bare = environment;
    bare.insert(u"PATH"_s, tivela::test::World::root() + u"/no-programs"_s);
    QProcess mode;
    mode.setProcessEnvironment(bare);
    mode.start(program, {u"--check-keys"_s, report});
    ASSERT_TRUE(mode.waitForFinished(20000));
    EXPECT_EQ(mode.exitCode(), 1);
    QFile written(report);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QJsonArray results =
        QJsonDocument::fromJson(written.readAll()).object().value(u"results"_s).toArray();
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0].toObject().value(u"ok"_s), false);
    EXPECT_EQ(results[0].toObject().value(u"detail"_s), u"Xvfb is not installed"_s);

    // The application itself, outside any desktop session, says so instead of aborting.
    environment.remove(u"QT_QPA_PLATFORM"_s);
    QProcess tray;
    tray.setProcessEnvironment(environment);
    tray.start(program, {});
    ASSERT_TRUE(tray.waitForFinished(20000));
    EXPECT_EQ(tray.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tray.exitCode(), 1);
    EXPECT_TRUE(tray.readAllStandardError().contains("needs a desktop session"));
}
