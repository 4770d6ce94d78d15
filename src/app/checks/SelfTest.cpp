#include "app/checks/SelfTest.h"

#include "app/AppDelegate.h"
#include "app/BrowserIntegration.h"
#include "app/checks/CheckWorkspace.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "core/Speaker.h"
#include "core/Translator.h"
#include "platform/Defaults.h"
#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/LoginItem.h"
#include "platform/x11/HotKeyCenter.h"
#include "platform/x11/SelectionReader.h"
#include "platform/x11/Shortcut.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroProcess>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::SelfTest {
namespace {

constexpr std::chrono::milliseconds xdgMimeBound = 10s;

// Each group's time on stderr, one line each, for whoever reads a slow run.
class Laps {
public:
    Laps() { m_clock.start(); }
    void operator()(const char* group) {
        std::fprintf(stderr, "self-test: %s %lld ms\n", group, m_clock.restart());
    }

private:
    QElapsedTimer m_clock;
};

QCoro::Task<> runAndExit(QString reportPath) {
    co_await runAll();
    const int status = results().write(
        reportPath, {{u"app"_s, AppDelegate::versionString()},
                     {u"date"_s, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
    QCoreApplication::exit(status);
}

} // namespace

CheckReport& results() {
    static CheckReport report;
    return report;
}

void run(const QString& reportPath) {
    QTimer::singleShot(0, [reportPath] { runAndExit(reportPath); });
}

QCoro::Task<> runAll() {
    CheckReport& report = results();
    const bool devBuild = Paths::isDevBuild();
    Laps lap;
    co_await engineChecks(report, Defaults::translator());
    lap("engine");
    detectionChecks(report);
    lap("detection");
    co_await dictionaryChecks(report, Lexicon::shared(), LexiconDownloader::shared(), devBuild);
    lap("dictionary");
    {
        // The person's pair, history and phrasebook stay as they are; the folder goes with
        // every database in it.
        CheckWorkspace workspace(Lexicon::shared(), LanguagePair{u"es"_s, u"en"_s});
        co_await cardChecks(report, workspace);
        lap("card");
        storeChecks(report, workspace.filePath(u"store-check.sqlite"_s));
        lap("store");
    }
    co_await speechChecks(report, Defaults::speaker());
    lap("speech");
    shortcutChecks(report, devBuild);
    servicesChecks(report, Paths::appBundle() ? Paths::appBundle()->info : QJsonObject(), devBuild);
    const BrowserIntegration browsers = BrowserIntegration::production();
    browserChecks(report, browsers, devBuild);
    lap("system");
    // The host as the browsers start it: from the path their manifests name, with the
    // extension's origin.
    const BridgeConversation::Replies replies =
        co_await BridgeConversation::talk(browsers.bridgePath().value_or(QString()),
                                          BrowserIntegration::extensionOrigin(), bridgeMessages());
    bridgeChecks(report, replies);
    lap("bridge");
    co_await urlSchemeChecks(report, devBuild);
    permissionChecks(report);
    lap("scheme-and-permissions");
}

void shortcutChecks(CheckReport& report, bool devBuild) {
    const Shortcut shortcut = Shortcut::defaultShortcut();
    if (devBuild) {
        report.check(u"shortcut (skipped in a development build)"_s, true,
                     QString(u"the installed Tivela keeps "_s + shortcut.display()));
        return;
    }
    HotKeyCenter& center = HotKeyCenter::shared();
    const bool registered = center.registerShortcut(shortcut);
    const int error = center.lastError();
    center.unregister();
    report.check(QString(u"shortcut: "_s + shortcut.display() + u" registers"_s), registered,
                 QString(u"X error "_s + QString::number(error)));
}

void servicesChecks(CheckReport& report, const QJsonObject& bundleInfo, bool devBuild) {
    if (devBuild) {
        report.check(u"services: declared"_s, true, u"development build: none"_s);
        return;
    }
    QJsonArray messages;
    for (const QJsonValue& service : bundleInfo.value(u"NSServices"_s).toArray())
        if (const QJsonValue message = service.toObject().value(u"NSMessage"_s); message.isString())
            messages.append(message);
    report.check(u"services: declared"_s,
                 messages.contains(u"translate"_s) && messages.contains(u"translateReplace"_s),
                 messages);
}

QCoro::Task<> urlSchemeChecks(CheckReport& report, bool devBuild) {
    QProcess query;
    query.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList arguments{u"query"_s, u"default"_s, u"x-scheme-handler/tivela"_s};
    co_await qCoro(query).start(u"xdg-mime"_s, arguments);
    const bool answered = co_await qCoro(query).waitForFinished(xdgMimeBound);
    if (!answered)
        query.kill();
    const QString name = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    const QString entry = name.isEmpty()
                              ? QString()
                              : QStandardPaths::locate(QStandardPaths::ApplicationsLocation, name);
    const auto exec = entry.isEmpty()
                          ? std::nullopt
                          : DesktopEntry::parseExec(DesktopEntry::read(entry).value(u"Exec"_s));
    const bool ours =
        exec && !exec->isEmpty() && QFileInfo(exec->first()).fileName() == u"tivela"_s;
    report.check(u"url scheme: tivela:// opens Tivela"_s, devBuild || ours,
                 entry.isEmpty() ? u"none"_s : entry);
}

void permissionChecks(CheckReport& report) {
    report.check(u"accessibility: permission (info)"_s, true,
                 SelectionReader::isAvailable() ? u"granted"_s : u"not granted yet"_s);
    report.check(u"login item (info)"_s, true, QString::number(int(LoginItem::mainApp().status())));
}

} // namespace tivela::SelfTest
