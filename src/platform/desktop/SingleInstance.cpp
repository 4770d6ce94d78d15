#include "platform/desktop/SingleInstance.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFutureWatcher>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    ApplicationAdaptor(QObject* object, SingleInstance* instance)
        : QDBusAbstractAdaptor(object)
        , m_instance(instance) {}

public Q_SLOTS:
    void Activate(const QVariantMap&) { m_instance->activate(); }
    void Open(const QStringList& uris, const QVariantMap&) { m_instance->open(uris); }
    // The application has no actions of its own.
    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&) {}

private:
    SingleInstance* m_instance;
};

class ServicesAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.quorvanta.Tivela.Services")

public:
    ServicesAdaptor(QObject* object, SingleInstance* instance)
        : QDBusAbstractAdaptor(object)
        , m_instance(instance) {}

public Q_SLOTS:
    void Translate(const QString& text) { m_instance->translate(text); }
    QString TranslateReplace(const QString& text, const QDBusMessage& message) {
        m_instance->translateReplace(text, message);
        return {};
    }

private:
    SingleInstance* m_instance;
};

class ShortcutAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.quorvanta.Tivela.Shortcut")

public:
    ShortcutAdaptor(QObject* object, SingleInstance* instance)
        : QDBusAbstractAdaptor(object)
        , m_instance(instance) {}

public Q_SLOTS:
    QString Held() { return m_instance->heldShortcut(); }

private:
    SingleInstance* m_instance;
};

// One reply to a delayed call, whichever comes first: the answer or the deadline.
struct PendingReply {
    QDBusMessage message;
    bool sent = false;

    void send(const QDBusMessage& reply) {
        if (sent)
            return;
        sent = true;
        QDBusConnection::sessionBus().send(reply);
    }
};

} // namespace

SingleInstance::SingleInstance(QString identifier, QString failure, QObject* parent,
                               int replaceDeadline)
    : QObject(parent)
    , m_identifier(std::move(identifier))
    , m_failure(std::move(failure))
    , m_replaceDeadline(replaceDeadline) {
}

SingleInstance::~SingleInstance() {
    if (!m_exported)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.objectRegisteredAt(objectPath(m_identifier)) == m_exported)
        bus.unregisterObject(objectPath(m_identifier));
    if (m_registered)
        bus.unregisterService(m_identifier);
}

QString SingleInstance::objectPath(const QString& identifier) {
    QString path = u'/' + identifier;
    path.replace(u'.', u'/').replace(u'-', u'_');
    return path;
}

bool SingleInstance::exportObjects() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!m_exported) {
        m_exported = new QObject(this);
        new ApplicationAdaptor(m_exported, this);
        new ServicesAdaptor(m_exported, this);
        new ShortcutAdaptor(m_exported, this);
    }
    return bus.objectRegisteredAt(objectPath(m_identifier)) == m_exported ||
           bus.registerObject(objectPath(m_identifier), m_exported);
}

SingleInstance::Role SingleInstance::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!exportObjects())
        return Role::alone;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(m_identifier, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Role::primary;
    }
    bus.unregisterObject(objectPath(m_identifier));
    return reply.isValid() ? Role::secondary : Role::alone;
}

bool SingleInstance::forward(const QStringList& urls) {
    QDBusMessage call = QDBusMessage::createMethodCall(m_identifier, objectPath(m_identifier),
                                                       u"org.freedesktop.Application"_s,
                                                       urls.isEmpty() ? u"Activate"_s : u"Open"_s);
    QVariantMap platformData;
    const QByteArray startup = qgetenv("DESKTOP_STARTUP_ID");
    if (!startup.isEmpty())
        platformData.insert(u"desktop-startup-id"_s, QString::fromUtf8(startup));
    if (urls.isEmpty())
        call << platformData;
    else
        call << urls << platformData;
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(call, QDBus::Block, forwardMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::setTarget(InstanceTarget* target) {
    m_target = target;
    if (!m_target)
        return;
    const auto queued = std::exchange(m_queue, {});
    for (const auto& call : queued)
        call(*m_target);
}

void SingleInstance::dispatch(std::function<void(InstanceTarget&)> call) {
    if (m_target)
        call(*m_target);
    else
        m_queue.append(std::move(call));
}

void SingleInstance::activate() {
    dispatch([](InstanceTarget& target) { target.activate(); });
}

void SingleInstance::open(const QStringList& urls) {
    dispatch([urls](InstanceTarget& target) { target.openUrls(urls); });
}

void SingleInstance::translate(const QString& text) {
    if (text.isEmpty())
        return;
    dispatch([text](InstanceTarget& target) { target.translate(text); });
}

void SingleInstance::translateReplace(const QString& text, const QDBusMessage& message) {
    // Nothing selected: nothing to replace, and nothing went wrong.
    if (text.isEmpty())
        return;
    message.setDelayedReply(true);
    auto pending = std::make_shared<PendingReply>(PendingReply{message});
    const QString failure = m_failure;
    // The deadline counts from the call's arrival, whether it waited in the queue or not. The
    // target answers by it; what it answers is what the caller gets.
    const QDeadlineTimer deadline(m_replaceDeadline);
    QTimer::singleShot(
        m_replaceDeadline + backstopMilliseconds, Qt::PreciseTimer, this, [pending, failure] {
            pending->send(
                pending->message.createErrorReply(QString::fromLatin1(failedError), failure));
        });
    dispatch([this, pending, failure, text, deadline](InstanceTarget& target) {
        auto* watcher = new QFutureWatcher<std::optional<QString>>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [watcher, pending, failure] {
            watcher->deleteLater();
            const QFuture<std::optional<QString>> future = watcher->future();
            const std::optional<QString> translation =
                future.resultCount() > 0 ? future.result() : std::nullopt;
            if (translation)
                pending->send(pending->message.createReply(*translation));
            else
                pending->send(
                    pending->message.createErrorReply(QString::fromLatin1(failedError), failure));
        });
        watcher->setFuture(target.translateReplace(text, deadline));
    });
}

} // namespace tivela

#include "SingleInstance.moc"
