#pragma once

#include <QDBusConnection>
#include <QFuture>
#include <QObject>
#include <QString>

namespace tivela {

// Installs Debian packages through the desktop's PackageKit session service (the software
// centre provides it), which asks the user and shows its own progress. Calls never block; an
// installation may take long, so it is given up only after a generous bound.
class PackageInstaller : public QObject {
    Q_OBJECT

public:
    enum class Outcome {
        // The installer answered, whatever the user chose, or the bound ran out.
        ended,
        // No installer on the bus, or no bus: the user has to install by hand.
        unavailable,
    };

    static constexpr int defaultBoundMilliseconds = 30 * 60 * 1000;

    explicit PackageInstaller(QDBusConnection bus = QDBusConnection::sessionBus(),
                              int boundMilliseconds = defaultBoundMilliseconds,
                              QObject* parent = nullptr);

    // Asks to install one package, on behalf of the X11 window (0 for none) that the
    // installer's dialogs belong to.
    QFuture<Outcome> install(const QString& package, quint32 window);

private:
    QDBusConnection m_bus;
    int m_bound;
};

} // namespace tivela
