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
#include "platform/desktop/SingleInstance.h"
#include "platform/x11/HotKeyCenter.h"
#include "platform/x11/SelectionReader.h"
#include "platform/x11/Shortcut.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QXmlStreamReader>

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroProcess>
#include <QCoro/QCoroSignal>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::SelfTest {
namespace {

constexpr std::chrono::milliseconds xdgMimeBound = 10s;
constexpr std::chrono::milliseconds busBound = 5s;

// A call on the session bus and its answer, within the bound; an error reply when none came.
QCoro::Task<QDBusMessage> busCall(QDBusMessage call) {
    QDBusPendingCallWatcher watcher(
        QDBusConnection::sessionBus().asyncCall(call, int(busBound.count())));
    if (!watcher.isFinished())
        co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished, busBound);
    co_return watcher.isFinished()
        ? watcher.reply()
        : call.createErrorReply(QDBusError::Timeout, u"no answer on the bus"_s);
}

// The methods an introspection names in one interface.
QStringList methodsOf(const QString& xml, const QString& interface) {
    QStringList methods;
    bool inside = false;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == u"interface"_s)
            inside = reader.attributes().value(u"name"_s) == interface;
        else if (reader.isEndElement() && reader.name() == u"interface"_s)
            inside = false;
        else if (inside && reader.isStartElement() && reader.name() == u"method"_s)
            methods << reader.attributes().value(u"name"_s).toString();
    }
    return methods;
}

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
    const Packs packs = co_await fetchPacks(LexiconDownloader::shared(), neededPacks());
    lap("packs");
    dictionaryChecks(report, Lexicon::shared(), packs);
    lap("dictionary");
    {
        // The person's pair, history and phrasebook stay as they are; the folder goes with
        // every database in it.
        CheckWorkspace workspace(Lexicon::shared(), LanguagePair{u"es"_s, u"en"_s});
        co_await cardChecks(report, workspace, packs);
        lap("card");
        storeChecks(report, workspace.filePath(u"store-check.sqlite"_s));
        lap("store");
    }
    co_await speechChecks(report, Defaults::speaker());
    lap("speech");
    co_await shortcutChecks(report, devBuild, Paths::bundleID());
    co_await servicesChecks(report, Paths::bundleID(), devBuild);
    const BrowserIntegration browsers = BrowserIntegration::production();
    browserChecks(report, browsers, devBuild);
    lap("system");
    // A development build's packs are the check's own: a German pack an earlier run left would
    // give the host its card without a fetch. An installed copy keeps the person's packs.
    if (devBuild)
        LexiconDownloader::shared().remove(bridgeNewLanguage);
    // The host as the browsers start it: from the path their manifests name, with the
    // extension's origin.
    const BridgeConversation::Replies replies =
        co_await BridgeConversation::talk(browsers.bridgePath().value_or(QString()),
                                          BrowserIntegration::extensionOrigin(), bridgeMessages());
    bridgeChecks(report, replies, packs);
    lap("bridge");
    co_await urlSchemeChecks(report, devBuild);
    permissionChecks(report);
    lap("scheme-and-permissions");
}

QCoro::Task<> shortcutChecks(CheckReport& report, bool devBuild, QString busName) {
    const Shortcut shortcut = Shortcut::defaultShortcut();
    if (devBuild) {
        report.check(u"shortcut (skipped in a development build)"_s, true,
                     QString(u"the installed Tivela keeps "_s + shortcut.display()));
        co_return;
    }
    HotKeyCenter& center = HotKeyCenter::shared();
    const bool registered = center.registerShortcut(shortcut);
    const int error = center.lastError();
    center.unregister();
    const QString name = u"shortcut: "_s + shortcut.display() + u" registers"_s;
    const QString status = u"X error "_s + QString::number(error);
    if (registered) {
        report.check(name, true, status);
        co_return;
    }
    if (error == HotKeyCenter::noX11) {
        report.check(name, false, QString(status + u": no X11 display to grab it on"_s));
        co_return;
    }
    // X11 grants a key to one client at a time, and the running copy holds its shortcut: that
    // copy holding this one is the healthy state.
    const std::optional<Shortcut> held = co_await heldShortcut(busName);
    if (held == shortcut)
        report.check(name, true, QString(status + u": held by the running Tivela"_s));
    else
        report.check(name, false,
                     QString(status + u": another program holds "_s + shortcut.display()));
}

QCoro::Task<std::optional<Shortcut>> heldShortcut(QString busName) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        busName, SingleInstance::objectPath(busName),
        QString::fromLatin1(SingleInstance::shortcutInterface), u"Held"_s);
    const QDBusMessage reply = co_await busCall(call);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        co_return std::nullopt;
    co_return fromJson<Shortcut>(
        QJsonDocument::fromJson(reply.arguments().first().toString().toUtf8()).object());
}

QCoro::Task<> servicesChecks(CheckReport& report, QString busName, bool devBuild) {
    if (devBuild) {
        report.check(u"services: declared"_s, true, u"development build: none"_s);
        co_return;
    }
    // Everything a co_await is given that owns memory is named first: g++ 12 destroys such
    // temporaries twice.
    const QString path = SingleInstance::objectPath(busName);
    const QString introspectable = u"org.freedesktop.DBus.Introspectable"_s;
    const QDBusMessage running =
        QDBusMessage::createMethodCall(busName, path, introspectable, u"Introspect"_s);
    QDBusMessage reply = co_await busCall(running);
    // No copy runs: what this program would serve, on a connection that takes no name. A copy
    // that runs and does not answer serves nothing.
    SingleInstance own(busName, QString());
    if (reply.type() == QDBusMessage::ErrorMessage &&
        reply.errorName() == u"org.freedesktop.DBus.Error.ServiceUnknown"_s &&
        own.exportObjects()) {
        const QDBusMessage ours = QDBusMessage::createMethodCall(
            QDBusConnection::sessionBus().baseService(), path, introspectable, u"Introspect"_s);
        reply = co_await busCall(ours);
    }
    const QStringList methods =
        reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
            ? methodsOf(reply.arguments().first().toString(),
                        QString::fromLatin1(SingleInstance::servicesInterface))
            : QStringList();
    report.check(u"services: declared"_s,
                 methods.contains(u"Translate"_s) && methods.contains(u"TranslateReplace"_s),
                 QJsonArray::fromStringList(methods));
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
