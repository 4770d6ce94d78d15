#pragma once

#include "support/HttpServer.h"
#include "support/TestWorld.h"

#include <QJsonObject>
#include <QProcessEnvironment>
#include <QString>

namespace tivela::test {

// An install folder of the test's own around copies of the staged programs (copies, not links:
// each program finds its bundle through its own real path) and the tray's images, whose pack
// server is a loopback server holding the check modes' packs.
class CheckBundle {
public:
    explicit CheckBundle(const QString& root,
                         const QString& identifier = QStringLiteral("dev.quorvanta.Tivela.dev"));
    bool isValid() const { return m_valid; }
    const QString& root() const { return m_root; }
    QString program() const { return m_root + QStringLiteral("/bin/tivela"); }
    // Sets an information key of the bundle; an undefined value removes it.
    bool setInfo(const QString& key, const QJsonValue& value) const;
    // Runs the program's self-test, at most 240 s; the report file's object.
    QJsonObject selfTest(const QProcessEnvironment& environment, ProcessResult* run) const;
    // Runs the program with a check option and its report file, at most timeoutMs; the report
    // file's object.
    QJsonObject check(const QString& option, const QProcessEnvironment& environment,
                      ProcessResult* run, int timeoutMs) const;

    // Runs a render mode of the program ("--render-screenshots") into a folder, at most 240 s.
    ProcessResult render(const QString& option, const QString& folder,
                         const QProcessEnvironment& environment) const;

    // The records of a report that failed: their details by name.
    static QJsonObject failures(const QJsonObject& report);

private:
    HttpServer m_server;
    QString m_root;
    bool m_valid = false;
};

} // namespace tivela::test
