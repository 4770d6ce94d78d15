#include "platform/desktop/PackageInstaller.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPromise>

#include <memory>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// Errors that say no installer is there to ask, rather than that it answered.
bool unavailable(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::Disconnected:
        return true;
    default:
        // Activation of a service that failed to start.
        return error.name().startsWith(u"org.freedesktop.DBus.Error.Spawn."_s);
    }
}

} // namespace

PackageInstaller::PackageInstaller(QDBusConnection bus, int boundMilliseconds, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_bound(boundMilliseconds) {
}

QFuture<PackageInstaller::Outcome> PackageInstaller::install(const QString& package,
                                                             quint32 window) {
    if (!m_bus.isConnected())
        return QtFuture::makeReadyFuture(Outcome::unavailable);
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.PackageKit"_s, u"/org/freedesktop/PackageKit"_s,
        u"org.freedesktop.PackageKit.Modify"_s, u"InstallPackageNames"_s);
    call << window << QStringList{package} << QString();

    auto promise = std::make_shared<QPromise<Outcome>>();
    promise->start();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_bound), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, promise] {
        watcher->deleteLater();
        promise->addResult(watcher->isError() && unavailable(watcher->error())
                               ? Outcome::unavailable
                               : Outcome::ended);
        promise->finish();
    });
    return promise->future();
}

} // namespace tivela
