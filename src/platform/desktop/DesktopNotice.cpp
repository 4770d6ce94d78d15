#include "platform/desktop/DesktopNotice.h"

#include "core/Paths.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPromise>
#include <QSet>
#include <QSettings>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// Notes being asked for: a second ask meanwhile would find the session not yet remembered.
QSet<QString>& asking() {
    static QSet<QString> keys;
    return keys;
}

void whenAnswered(const QDBusMessage& call,
                  std::function<void(const QDBusPendingCallWatcher&)> answered) {
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [watcher, answered = std::move(answered)] {
                         watcher->deleteLater();
                         answered(*watcher);
                     });
}

QString settingOf(const QString& key) {
    return u"shownInSession/"_s + key;
}

} // namespace

QFuture<bool> DesktopNotice::showOncePerSession(const QString& key, const QString& summary,
                                                const QString& body) {
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    const auto done = [promise, key](bool shown) {
        asking().remove(key);
        promise->addResult(shown);
        promise->finish();
    };
    if (asking().contains(key) || !QDBusConnection::sessionBus().isConnected()) {
        promise->addResult(false);
        promise->finish();
        return promise->future();
    }
    asking().insert(key);
    const QDBusMessage getId =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"GetId"_s);
    whenAnswered(getId, [=](const QDBusPendingCallWatcher& answer) {
        const QDBusPendingReply<QString> id = answer;
        if (id.isError() || Paths::standardDefaults()->value(settingOf(key)).toString() == id) {
            done(false);
            return;
        }
        QDBusMessage notify = QDBusMessage::createMethodCall(
            u"org.freedesktop.Notifications"_s, u"/org/freedesktop/Notifications"_s,
            u"org.freedesktop.Notifications"_s, u"Notify"_s);
        notify << u"Tivela"_s << uint(0) << u"tivela"_s << summary << body << QStringList()
               << QVariantMap() << -1;
        // Remembered only once shown: a session whose service starts later hears it then.
        whenAnswered(notify, [=, session = id.value()](const QDBusPendingCallWatcher& shown) {
            if (!shown.isError())
                Paths::standardDefaults()->setValue(settingOf(key), session);
            done(!shown.isError());
        });
    });
    return promise->future();
}

} // namespace tivela
