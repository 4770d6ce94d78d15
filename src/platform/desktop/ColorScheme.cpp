#include "platform/desktop/ColorScheme.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

QString portalService() {
    return u"org.freedesktop.portal.Desktop"_s;
}
QString portalPath() {
    return u"/org/freedesktop/portal/desktop"_s;
}
QString settingsInterface() {
    return u"org.freedesktop.portal.Settings"_s;
}
QString appearanceGroup() {
    return u"org.freedesktop.appearance"_s;
}
QString schemeKey() {
    return u"color-scheme"_s;
}

} // namespace

ColorScheme::ColorScheme(QDBusConnection bus, int answerMilliseconds, QObject* parent)
    : QObject(parent) {
    if (!bus.isConnected()) {
        m_preference = Preference::none;
        return;
    }
    // Listening first, so a change between the read and its answer is not missed.
    bus.connect(portalService(), portalPath(), settingsInterface(), u"SettingChanged"_s, this,
                SLOT(settingChanged(QDBusMessage)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService(), portalPath(),
                                                       settingsInterface(), u"Read"_s);
    read << appearanceGroup() << schemeKey();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, answerMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        // A change announced meanwhile is newer than this answer.
        if (m_preference)
            return;
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        set(reply.isError() ? Preference::none : fromPortal(reply.argumentAt(0)));
    });
}

ColorScheme::Preference ColorScheme::fromPortal(const QVariant& value) {
    QVariant inner = value;
    for (int depth = 0; depth < 4 && inner.metaType() == QMetaType::fromType<QDBusVariant>();
         ++depth)
        inner = inner.value<QDBusVariant>().variant();
    if (inner.metaType() != QMetaType::fromType<uint>() &&
        inner.metaType() != QMetaType::fromType<int>())
        return Preference::none;
    switch (inner.toInt()) {
    case 1:
        return Preference::dark;
    case 2:
        return Preference::light;
    default:
        return Preference::none;
    }
}

void ColorScheme::settingChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() == 3 && arguments[0].toString() == appearanceGroup() &&
        arguments[1].toString() == schemeKey())
        set(fromPortal(arguments[2]));
}

void ColorScheme::set(Preference preference) {
    if (m_preference == preference)
        return;
    m_preference = preference;
    Q_EMIT changed();
}

} // namespace tivela
