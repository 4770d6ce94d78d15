#pragma once

#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace tivela {

// What the running copy does for the calls other programs make over the session bus.
class InstanceTarget {
public:
    virtual ~InstanceTarget() = default;
    // A second start without URLs.
    virtual void activate() = 0;
    // A second start with URLs (xdg-open of a tivela: URL).
    virtual void openUrls(const QStringList& urls) = 0;
    // "Translate with Tivela": show the text in the popover.
    virtual void translate(const QString& text) = 0;
    // "Translate and Replace with Tivela": the translation, or nothing when there is none by
    // the deadline, which the target keeps. The future finishes on the main thread.
    virtual QFuture<std::optional<QString>> translateReplace(const QString& text,
                                                             QDeadlineTimer deadline) = 0;
};

// One copy per user and bundle identifier. The first copy owns the bus name of its identifier
// and serves org.freedesktop.Application and the Services interface at the name's path; a
// second start hands its URLs to it and ends.
//
// The objects are on the bus before the name is taken, and calls that arrive before the
// application is ready wait in a queue: no call finds the application half made.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        // This copy owns the name.
        primary,
        // Another copy owns it.
        secondary,
        // No session bus: this copy runs on its own.
        alone,
    };

    static constexpr int forwardMilliseconds = 5000;
    // Callers with the bus's default timeout give up at 25 s: our failure reaches them first.
    static constexpr int replaceMilliseconds = 20000;
    // A target that has not answered this long after its deadline is answered for, with the
    // failure: still before the bus's timeout.
    static constexpr int backstopMilliseconds = 2000;
    static constexpr const char* servicesInterface = "dev.quorvanta.Tivela.Services";
    // Held() → s: the global shortcut this copy holds, as the settings store it (JSON), empty
    // when it holds none; a check that finds the key taken asks whether we are the taker.
    static constexpr const char* shortcutInterface = "dev.quorvanta.Tivela.Shortcut";
    static constexpr const char* failedError = "dev.quorvanta.Tivela.Services.Error.Failed";

    // failure: the message a failed "Translate and Replace" answers with.
    SingleInstance(QString identifier, QString failure, QObject* parent = nullptr,
                   int replaceDeadline = replaceMilliseconds);
    ~SingleInstance() override;

    // Puts the objects on the bus and asks for the name.
    Role claim();
    // Puts the objects on the bus without asking for the name, so that a check can look at
    // what this program serves without becoming the running copy; false without a bus.
    bool exportObjects();
    // What Held answers; nothing held until it is set.
    void setHeldShortcut(std::function<QString()> held) { m_heldShortcut = std::move(held); }
    // From a second copy: Open(urls), or Activate without URLs, on the first; waits at most
    // forwardMilliseconds. True when the first copy answered.
    bool forward(const QStringList& urls);
    // Runs the queued calls against the target, and every later call at once.
    void setTarget(InstanceTarget* target);
    // Calls waiting for the target.
    qsizetype queuedCalls() const { return m_queue.size(); }

    // The object path of org.freedesktop.Application for a bus name.
    static QString objectPath(const QString& identifier);

    // Called by the bus adaptors.
    void activate();
    void open(const QStringList& urls);
    void translate(const QString& text);
    void translateReplace(const QString& text, const QDBusMessage& message);
    QString heldShortcut() const { return m_heldShortcut ? m_heldShortcut() : QString(); }

private:
    void dispatch(std::function<void(InstanceTarget&)> call);

    QString m_identifier;
    QString m_failure;
    int m_replaceDeadline;
    std::function<QString()> m_heldShortcut;
    InstanceTarget* m_target = nullptr;
    QList<std::function<void(InstanceTarget&)>> m_queue;
    QObject* m_exported = nullptr;
    bool m_registered = false;
};

} // namespace tivela
