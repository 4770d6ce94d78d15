#include "platform/desktop/SchemeHandler.h"

#include "core/Paths.h"
#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/XdgMime.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tivela {

SchemeHandler::SchemeHandler(QString program, QString identifier, QObject* parent)
    : QObject(parent)
    , m_program(std::move(program))
    , m_identifier(std::move(identifier)) {
}

SchemeHandler::~SchemeHandler() = default;

SchemeHandler* SchemeHandler::mainApp(QObject* parent) {
    const auto& bundle = Paths::appBundle();
    return new SchemeHandler(bundle ? bundle->root + u"/bin/tivela"_s : QString(),
                             Paths::bundleID(), parent);
}

QString SchemeHandler::entryPath() const {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/applications/"_s + m_identifier + u".desktop"_s;
}

QByteArray SchemeHandler::entryBytes() const {
    return (u"[Desktop Entry]\n"
            u"Type=Application\n"
            u"Name=Tivela\n"
            u"Comment=Translate the selection from the tray\n"
            u"Exec="_s +
            DesktopEntry::execValue(m_program, {u"%u"_s}) +
            u"\n"
            u"Terminal=false\n"
            u"NoDisplay=true\n"
            u"MimeType=x-scheme-handler/tivela;\n"_s)
        .toUtf8();
}

void SchemeHandler::install() {
    if (m_process)
        return;
    if (m_program.isEmpty() || !DesktopEntry::write(entryPath(), entryBytes())) {
        QTimer::singleShot(0, this, [this] { Q_EMIT finished(false); });
        return;
    }
    m_process =
        XdgMime::start({u"default"_s, m_identifier + u".desktop"_s, u"x-scheme-handler/tivela"_s},
                       xdgMimeMilliseconds, this);
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        m_process->deleteLater();
        m_process = nullptr;
        Q_EMIT finished(status == QProcess::NormalExit && code == 0);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        m_process->deleteLater();
        m_process = nullptr;
        Q_EMIT finished(false);
    });
}

} // namespace tivela
