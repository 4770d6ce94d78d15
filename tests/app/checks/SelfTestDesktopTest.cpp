// The self-test of an installed copy on a private desktop, as a person runs it: Tivela already
// started beside it as autostart leaves it (holding its shortcut, on its bus name), packs from
// a folder named as the bundle's pack source. The shortcut, Services, browser manifest, URL
// scheme and selection are tested for real, and only what another program takes fails.
//
// The packs are the test's own small ones, or the folder TIVELA_TEST_PACKS names (the packs of
// `make packs`): every check passes with either.
#include "app/checks/SelfTest.h"
#include "core/Lexicon.h"
#include "platform/desktop/SchemeHandler.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/x11/Shortcut.h"
#include "platform/x11/XConnection.h"
#include "support/CheckBundle.h"
#include "support/HttpServer.h"
#include "support/PackFiles.h"
#include "support/Processes.h"
#include "support/QtPrinters.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QUrl>

#include <xcb/xcb.h>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

const QString installedID = u"dev.quorvanta.Tivela"_s;

QString shortcutCheck() {
    return u"shortcut: "_s + Shortcut::defaultShortcut().display() + u" registers"_s;
}

// What the running copy says it holds, over its bus name; empty when it answers nothing.
QString heldByRunningCopy() {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        installedID, SingleInstance::objectPath(installedID),
        QString::fromLatin1(SingleInstance::shortcutInterface), u"Held"_s);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toString()
                                                      : QString();
}

// Owns the running copy's bus name with an object that serves nothing, and answers.
TIVELA_TEST_HELPER(impostor) {
    QObject object;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(SingleInstance::objectPath(installedID), &object) ||
        !bus.registerService(installedID))
        return 1;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    return QCoreApplication::exec();
}

class SelfTestDesktopTest : public ::testing::Test {
protected:
    CheckBundle bundle{World::root() + u"/Tivela"_s, installedID};
    HttpServer packServer;
    QProcess running;

    void SetUp() override {
        ASSERT_TRUE(bundle.isValid());
        // Downloaded as the installed copy gets them.
        for (const auto& [code, pack] : packs()) {
            HttpServer::Response response;
            response.body = pack;
            packServer.route(u"/packs/"_s + Lexicon::fileName(code), response);
        }
        ASSERT_TRUE(bundle.setInfo(u"TivelaLexiconURL"_s, packServer.url(u"/packs/"_s).toString()));
        // One installed browser, for the host's manifest.
        ASSERT_TRUE(
            QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                          u"/chromium"_s));
        SchemeHandler scheme(bundle.program(), installedID);
        std::optional<bool> installed;
        QObject::connect(&scheme, &SchemeHandler::finished, [&](bool ok) { installed = ok; });
        scheme.install();
        ASSERT_TRUE(waitUntil([&] { return installed.has_value(); }, 20000));
        ASSERT_TRUE(*installed);
    }

    void TearDown() override {
        if (running.state() != QProcess::NotRunning) {
            running.terminate();
            EXPECT_TRUE(running.waitForFinished(10000));
        }
        EXPECT_EQ(runningFrom(bundle.root()), QStringList());
    }

    // The packs the bundle's source serves: the release's when given, else the test's.
    static std::map<QString, QByteArray> packs() {
        const QString given = qEnvironmentVariable("TIVELA_TEST_PACKS");
        if (given.isEmpty())
            return checkPacks();
        std::map<QString, QByteArray> found;
        for (const QString& code : SelfTest::neededPacks()) {
            const QByteArray pack = readFile(QDir(given).filePath(Lexicon::fileName(code)));
            EXPECT_FALSE(pack.isEmpty())
                << "no " << code.toStdString() << " pack in " << given.toStdString();
            found.emplace(code, pack);
        }
        return found;
    }

    // Tivela as autostart starts it: no arguments, in the tray, its shortcut held.
    void startTivela() {
        running.setProgram(bundle.program());
        running.setProcessChannelMode(QProcess::ForwardedChannels);
        running.start();
        ASSERT_TRUE(running.waitForStarted(10000));
        ASSERT_TRUE(waitUntil([] { return !heldByRunningCopy().isEmpty(); }, 30000));
    }

    QJsonObject report(ProcessResult* run) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The desktop's own platform: the shortcut is grabbed through Qt's X11 connection.
        environment.remove(u"QT_QPA_PLATFORM"_s);
        QElapsedTimer clock;
        clock.start();
        const QJsonObject report = bundle.selfTest(environment, run);
        std::fprintf(stderr, "SelfTestDesktopTest: the self-test took %lld ms\n", clock.elapsed());
        EXPECT_TRUE(run->finished) << run->err.toStdString();
        return report;
    }
};

} // namespace

TEST_F(SelfTestDesktopTest, BesideTheRunningCopyEveryCheckPasses) {
    startTivela();
    ProcessResult run;
    const QJsonObject result = report(&run);
    EXPECT_EQ(CheckBundle::failures(result), QJsonObject());
    EXPECT_EQ(run.exitCode, CheckBundle::failures(result).isEmpty() ? 0 : 1);

    QJsonObject details;
    for (const QJsonValue& record : result.value(u"results"_s).toArray())
        details.insert(record[u"check"_s].toString(), record[u"detail"_s]);
    EXPECT_EQ(details.value(shortcutCheck()), u"X error 10: held by the running Tivela"_s);
    EXPECT_EQ(details.value(u"services: declared"_s),
              (QJsonArray{u"Translate"_s, u"TranslateReplace"_s}));
    EXPECT_EQ(result.value(u"total"_s), 40);
    // The copy beside it is as it was.
    EXPECT_EQ(running.state(), QProcess::Running);
    EXPECT_FALSE(heldByRunningCopy().isEmpty());
}

// Other programs in the places the running copy should hold: the shortcut, and the bus name
// with an object that serves no Services.
TEST_F(SelfTestDesktopTest, ProgramsHoldingWhatTheCopyOwnsFailOnlyTheirChecks) {
    XConnection other;
    const auto key = Shortcut::defaultShortcut().xKeycode();
    ASSERT_TRUE(key);
    xcb_grab_key(other.get(), 0, other.root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, *key,
                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    free(xcb_get_input_focus_reply(other.get(), xcb_get_input_focus(other.get()), nullptr));
    const std::unique_ptr<QProcess> impostor = startHelper(u"impostor"_s);
    ASSERT_TRUE(impostor->waitForReadyRead(10000));

    ProcessResult run;
    const QJsonObject failed = CheckBundle::failures(report(&run));
    const QString cause =
        u"X error 10: another program holds "_s + Shortcut::defaultShortcut().display();
    EXPECT_EQ(failed,
              (QJsonObject{{shortcutCheck(), cause}, {u"services: declared"_s, QJsonArray()}}));
    EXPECT_EQ(run.exitCode, 1);
    impostor->kill();
    impostor->waitForFinished(5000);
}

// With no copy running, the Services are what this program would serve.
TEST(SelfTestServicesTest, WithoutARunningCopyTheProgramsOwnAreRead) {
    CheckReport report;
    QCoro::waitFor(SelfTest::servicesChecks(report, u"dev.quorvanta.Tivela.nowhere"_s, false));
    EXPECT_EQ(report.results(),
              (QList<CheckResult>{{u"services: declared"_s, true,
                                   QJsonArray{u"Translate"_s, u"TranslateReplace"_s}}}));
    // Nothing of it stays on the bus.
    EXPECT_EQ(QDBusConnection::sessionBus().objectRegisteredAt(
                  SingleInstance::objectPath(u"dev.quorvanta.Tivela.nowhere"_s)),
              nullptr);
}
