#include "platform/desktop/SchemeHandler.h"
#include "platform/desktop/DesktopEntry.h"
#include "support/TestWorld.h"

#include "platform/desktop/XdgMime.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace tivela;
using namespace tivela::test;
using namespace Qt::StringLiterals;

namespace {

// A program that writes its arguments to a file, standing in for bin/tivela.
QString recorder(const QString& folder) {
    const QString path = folder + u"/bin/tivela"_s;
    QDir().mkpath(folder + u"/bin"_s);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/opened\"\n");
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QByteArray defaultHandler() {
    QProcess query;
    query.start(u"xdg-mime"_s, {u"query"_s, u"default"_s, u"x-scheme-handler/tivela"_s});
    return query.waitForFinished(10000) ? query.readAllStandardOutput().trimmed() : "(hung)";
}

bool install(SchemeHandler& handler) {
    QSignalSpy finished(&handler, &SchemeHandler::finished);
    handler.install();
    return finished.wait(15000) && finished.first().first().toBool();
}

} // namespace

TEST(SchemeHandlerTest, MakesXdgOpenStartThisCopyWithTheUrl) {
    // xdg-open without a desktop environment cannot start a program whose path needs quotes.
    const QString folder = World::root() + u"/Tivela-Apps"_s;
    SchemeHandler handler(recorder(folder), u"dev.quorvanta.Tivela.dev"_s);
    ASSERT_TRUE(install(handler));
    EXPECT_EQ(handler.entryPath(),
              World::root() + u"/data/applications/dev.quorvanta.Tivela.dev.desktop"_s);
    const QMap<QString, QString> entry = DesktopEntry::read(handler.entryPath());
    EXPECT_EQ(entry.value(u"MimeType"_s), u"x-scheme-handler/tivela;"_s);
    EXPECT_EQ(DesktopEntry::parseExec(entry.value(u"Exec"_s)),
              (QStringList{folder + u"/bin/tivela"_s, u"%u"_s}));

    EXPECT_EQ(defaultHandler(), "dev.quorvanta.Tivela.dev.desktop");

    const QString url = u"tivela://translate?text=caf%C3%A9%20%26%20t%C3%A9"_s;
    QProcess open;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // xdg-open asks the desktop's own opener first; with none it reads mimeapps.list.
    environment.remove(u"XDG_CURRENT_DESKTOP"_s);
    environment.remove(u"DE"_s);
    open.setProcessEnvironment(environment);
    open.start(u"xdg-open"_s, {url});
    ASSERT_TRUE(open.waitForFinished(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(folder + u"/bin/opened"_s); }, 10000));
    QFile opened(folder + u"/bin/opened"_s);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return opened.open(QIODevice::ReadOnly) && opened.size() > 0; }, 5000));
    EXPECT_EQ(QString::fromUtf8(opened.readAll()).trimmed(), url);
}

TEST(SchemeHandlerTest, RewritesOnlyWhatChanged) {
    SchemeHandler handler(recorder(World::root() + u"/a"_s), u"x.test"_s);
    ASSERT_TRUE(install(handler));
    const QDateTime written = QFileInfo(handler.entryPath()).lastModified();
    QTest::qWait(20);
    ASSERT_TRUE(install(handler));
    EXPECT_EQ(QFileInfo(handler.entryPath()).lastModified(), written);

    SchemeHandler moved(recorder(World::root() + u"/b"_s), u"x.test"_s);
    ASSERT_TRUE(install(moved));
    EXPECT_EQ(DesktopEntry::parseExec(DesktopEntry::read(moved.entryPath()).value(u"Exec"_s)),
              (QStringList{World::root() + u"/b/bin/tivela"_s, u"%u"_s}));

    SchemeHandler nothing(QString(), u"y.test"_s);
    EXPECT_FALSE(install(nothing));
    EXPECT_FALSE(QFile::exists(nothing.entryPath()));
}

// An installed copy's entry is its launcher: shown in the menu, in the right categories, with
// the bundle's icon in the user's hicolor theme under the entry's name. A development build's
// entry stays hidden and brings no icon.
TEST(SchemeHandlerTest, AnInstalledCopysEntryIsALauncherWithItsIcon) {
    const QString icons = stageDir() + u"/share/icons/hicolor"_s;
    SchemeHandler launcher(recorder(World::root() + u"/d"_s), u"dev.quorvanta.Tivela"_s, icons);
    ASSERT_TRUE(install(launcher));
    const QMap<QString, QString> entry = DesktopEntry::read(launcher.entryPath());
    EXPECT_FALSE(entry.contains(u"NoDisplay"_s));
    EXPECT_EQ(entry.value(u"Icon"_s), u"dev.quorvanta.Tivela"_s);
    EXPECT_EQ(entry.value(u"Categories"_s), u"Utility;Office;"_s);
    EXPECT_EQ(entry.value(u"MimeType"_s), u"x-scheme-handler/tivela;"_s);
    const QString theme = World::root() + u"/data/icons/hicolor/"_s;
    for (const QString& place :
         {u"48x48/apps/dev.quorvanta.Tivela.png"_s, u"256x256/apps/dev.quorvanta.Tivela.png"_s,
          u"scalable/apps/dev.quorvanta.Tivela.svg"_s}) {
        QFile icon(theme + place);
        ASSERT_TRUE(icon.open(QIODevice::ReadOnly)) << place.toStdString();
        const QByteArray head = icon.read(8);
        EXPECT_TRUE(head.startsWith("\x89PNG") || head.startsWith("<svg")) << place.toStdString();
    }

    SchemeHandler hidden(recorder(World::root() + u"/e"_s), u"dev.quorvanta.Tivela.dev"_s);
    ASSERT_TRUE(install(hidden));
    const QMap<QString, QString> development = DesktopEntry::read(hidden.entryPath());
    EXPECT_EQ(development.value(u"NoDisplay"_s), u"true"_s);
    EXPECT_FALSE(development.contains(u"Icon"_s));
    EXPECT_FALSE(QFile::exists(theme + u"48x48/apps/dev.quorvanta.Tivela.dev.png"_s));
}

// Links stay with an installed copy while its program is there; a development build's entry
// takes them from another development build, or once the installed program is gone.
TEST(SchemeHandlerTest, ADevelopmentBuildLeavesTheLinksToAnInstalledCopy) {
    const QString folder = World::root() + u"/installed-copy"_s;
    SchemeHandler installed(recorder(folder), u"dev.quorvanta.Tivela"_s);
    QFile info(folder + u"/bundle.json"_s);
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write(R"({"CFBundleIdentifier": "dev.quorvanta.Tivela"})");
    info.close();
    ASSERT_TRUE(install(installed));
    ASSERT_EQ(defaultHandler(), "dev.quorvanta.Tivela.desktop");

    SchemeHandler development(recorder(World::root() + u"/dev-copy"_s),
                              u"dev.quorvanta.Tivela.dev"_s);
    ASSERT_TRUE(install(development));
    EXPECT_TRUE(QFile::exists(development.entryPath()));
    EXPECT_EQ(defaultHandler(), "dev.quorvanta.Tivela.desktop");

    ASSERT_TRUE(QFile::remove(folder + u"/bin/tivela"_s));
    ASSERT_TRUE(install(development));
    EXPECT_EQ(defaultHandler(), "dev.quorvanta.Tivela.dev.desktop");
}

// A xdg-mime still at work when the application quits gets its short time, then goes with its
// helpers, reaped, and without Qt's warning of a process destroyed while running.
TEST(SchemeHandlerTest, AXdgMimeStillRunningAtQuitEndsWithItsHelpers) {
    const QString bin = World::root() + u"/stuck-bin"_s;
    QDir().mkpath(bin);
    QFile script(bin + u"/xdg-mime"_s);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nsleep 60 &\necho $! > \"$(dirname \"$0\")/helper\"\nwait\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toLocal8Bit() + ':' + path);

    static QStringList warnings;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    SchemeHandler handler(recorder(World::root() + u"/c"_s), u"z.test"_s);
    QSignalSpy finished(&handler, &SchemeHandler::finished);
    handler.install();
    const QString helperFile = bin + u"/helper"_s;
    const bool started = QTest::qWaitFor([&] { return QFileInfo(helperFile).size() > 0; }, 10000);
    qputenv("PATH", path);
    ASSERT_TRUE(started);
    QFile helperPid(helperFile);
    ASSERT_TRUE(helperPid.open(QIODevice::ReadOnly));
    const pid_t helper = pid_t(helperPid.readAll().trimmed().toLongLong());
    ASSERT_GT(helper, 0);

    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    EXPECT_LT(clock.elapsed(), XdgMime::quitMilliseconds + 1500);
    EXPECT_TRUE(finished.count() == 1 || finished.wait(1000));
    EXPECT_FALSE(finished.value(0).value(0).toBool());
    // Gone, or a zombie waiting for whoever inherited it.
    EXPECT_TRUE(QTest::qWaitFor(
        [helper] {
            QFile stat(u"/proc/%1/stat"_s.arg(helper));
            return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
        },
        2000));
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.filter(u"Destroyed while process"_s).isEmpty())
        << warnings.join(u'\n').toStdString();
}
