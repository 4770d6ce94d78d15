#include "support/FakeDesktop.h"

#include "support/TestWorld.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QHash>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace tivela::test {
namespace {

QString controlName() {
    return u"dev.quorvanta.TestDesktop"_s;
}

QDBusMessage control(const QString& method, const QVariantList& arguments = {}) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(controlName(), u"/control"_s, controlName(), method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
}

// The helper's objects: every call comes here, by path and interface.
class Desktop : public QDBusVirtualObject {
public:
    Desktop(QDBusConnection bus, uint scheme, bool portalAnswers)
        : m_bus(std::move(bus))
        , m_scheme(scheme)
        , m_portalAnswers(portalAnswers) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        const QString member = message.member();
        if (message.interface() == u"org.freedesktop.PackageKit.Modify"_s &&
            member == u"InstallPackageNames"_s) {
            const QString package = message.arguments().value(1).toStringList().value(0);
            m_installs << QString::number(message.arguments().value(0).toUInt()) + u' ' + package;
            if (package.startsWith(u"hold:"_s)) {
                message.setDelayedReply(true);
                m_held.insert(package, message);
            } else if (package.startsWith(u"cancel:"_s)) {
                m_bus.send(message.createErrorReply(
                    u"org.freedesktop.PackageKit.Modify.Cancelled"_s, u"cancelled"_s));
            } else {
                m_bus.send(message.createReply());
            }
            return true;
        }
        if (message.interface() == u"org.freedesktop.Notifications"_s && member == u"Notify"_s) {
            const QVariantList arguments = message.arguments();
            m_notes << arguments.value(3).toString() + u'\n' + arguments.value(4).toString();
            m_bus.send(message.createReply(uint(m_notes.size())));
            return true;
        }
        if (message.interface() == u"org.freedesktop.portal.Settings"_s && member == u"Read"_s) {
            if (!m_portalAnswers) {
                message.setDelayedReply(true);
                return true;
            }
            const QVariant inner = QVariant::fromValue(QDBusVariant(m_scheme));
            m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(inner))));
            return true;
        }
        if (message.interface() == controlName()) {
            if (member == u"Installs"_s) {
                m_bus.send(message.createReply(m_installs));
            } else if (member == u"Notes"_s) {
                m_bus.send(message.createReply(m_notes));
            } else if (member == u"Release"_s) {
                const QString package = message.arguments().value(0).toString();
                if (m_held.contains(package))
                    m_bus.send(m_held.take(package).createReply());
                m_bus.send(message.createReply());
            } else if (member == u"SetScheme"_s) {
                m_scheme = message.arguments().value(0).toUInt();
                QDBusMessage changed = QDBusMessage::createSignal(
                    u"/org/freedesktop/portal/desktop"_s, u"org.freedesktop.portal.Settings"_s,
                    u"SettingChanged"_s);
                changed << u"org.freedesktop.appearance"_s << u"color-scheme"_s
                        << QVariant::fromValue(QDBusVariant(m_scheme));
                m_bus.send(changed);
                m_bus.send(message.createReply());
            }
            return true;
        }
        return false;
    }

private:
    QDBusConnection m_bus;
    uint m_scheme;
    bool m_portalAnswers;
    QStringList m_installs;
    QStringList m_notes;
    QHash<QString, QDBusMessage> m_held;
};

} // namespace

FakeDesktop::FakeDesktop(const QStringList& services)
    : m_process(startHelper(u"fakeDesktop"_s, services)) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    waitUntil([bus] { return bus && bus->isServiceRegistered(controlName()).value(); });
}

FakeDesktop::~FakeDesktop() {
    m_process->kill();
    m_process->waitForFinished(5000);
    // Its names are gone before the next test looks for them.
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    waitUntil([bus] { return !bus->isServiceRegistered(controlName()).value(); }, 5000);
}

bool FakeDesktop::isRunning() const {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(controlName()).value();
}

QStringList FakeDesktop::notes() const {
    return control(u"Notes"_s).arguments().value(0).toStringList();
}

QStringList FakeDesktop::installs() const {
    return control(u"Installs"_s).arguments().value(0).toStringList();
}

void FakeDesktop::release(const QString& package) const {
    control(u"Release"_s, {package});
}

void FakeDesktop::setScheme(uint scheme) const {
    control(u"SetScheme"_s, {scheme});
}

} // namespace tivela::test

TIVELA_TEST_HELPER(fakeDesktop) {
    using namespace tivela::test;
    // Gone with the test, whatever ends it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    QDBusConnection bus = QDBusConnection::sessionBus();
    uint scheme = 0;
    bool portal = false;
    bool answers = true;
    bool packageKit = false;
    bool notifications = false;
    for (const QString& arg : args) {
        if (arg == u"packagekit"_s)
            packageKit = true;
        else if (arg == u"notifications"_s)
            notifications = true;
        else if (arg.startsWith(u"portal="_s))
            portal = true, scheme = arg.mid(7).toUInt();
        else if (arg == u"portal-silent"_s)
            portal = true, answers = false;
    }
    Desktop desktop(bus, scheme, answers);
    if (packageKit) {
        bus.registerVirtualObject(u"/org/freedesktop/PackageKit"_s, &desktop);
        bus.registerService(u"org.freedesktop.PackageKit"_s);
    }
    if (notifications) {
        bus.registerVirtualObject(u"/org/freedesktop/Notifications"_s, &desktop);
        bus.registerService(u"org.freedesktop.Notifications"_s);
    }
    if (portal) {
        bus.registerVirtualObject(u"/org/freedesktop/portal/desktop"_s, &desktop);
        bus.registerService(u"org.freedesktop.portal.Desktop"_s);
    }
    bus.registerVirtualObject(u"/control"_s, &desktop);
    // The control name last: once it is there, everything is.
    bus.registerService(controlName());
    return QCoreApplication::exec();
}
