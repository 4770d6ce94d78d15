#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace tivela::test {

// A stand-in for the desktop's services on a private session bus (PrivateDesktop's), in a
// helper process: PackageKit's
// session interface and the portal's settings, as the arguments ask.
//  - "packagekit": InstallPackageNames answers at once; a package named "cancel:..." gets the
//    installer's error for a cancelled dialog, one named "hold:..." waits for release().
//  - "portal=N": the colour scheme is N, read wrapped twice as older portals do; "portal-silent"
//    owns the portal's name but never answers.
//  - "notifications": the notification service, which keeps each note it is asked to show.
class FakeDesktop {
public:
    explicit FakeDesktop(const QStringList& services);
    ~FakeDesktop();

    bool isRunning() const;
    // The install calls so far, as "WINDOW PACKAGE".
    QStringList installs() const;
    // The notes shown so far, as "SUMMARY\nBODY".
    QStringList notes() const;
    void release(const QString& package) const;
    // Changes the scheme and announces it.
    void setScheme(uint scheme) const;

private:
    std::unique_ptr<QProcess> m_process;
};

} // namespace tivela::test
