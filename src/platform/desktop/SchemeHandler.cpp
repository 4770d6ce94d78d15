#include "platform/desktop/SchemeHandler.h"

#include "core/Paths.h"
#include "platform/desktop/DesktopEntry.h"
#include "platform/desktop/XdgMime.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tivela {

namespace {

// The launcher's icons in a hicolor folder, by their place in it.
const QStringList& iconPlaces() {
    static const QStringList places{u"48x48/apps/tivela.png"_s, u"256x256/apps/tivela.png"_s,
                                    u"scalable/apps/tivela.svg"_s};
    return places;
}

} // namespace

SchemeHandler::SchemeHandler(QString program, QString identifier, QString icons, QObject* parent)
    : QObject(parent)
    , m_program(std::move(program))
    , m_identifier(std::move(identifier))
    , m_icons(std::move(icons)) {
}

SchemeHandler::~SchemeHandler() = default;

SchemeHandler* SchemeHandler::mainApp(QObject* parent) {
    const auto& bundle = Paths::appBundle();
    const QString icons =
        bundle && !Paths::isDevBuild() ? bundle->root + u"/share/icons/hicolor"_s : QString();
    return new SchemeHandler(bundle ? bundle->root + u"/bin/tivela"_s : QString(),
                             Paths::bundleID(), icons, parent);
}

QString SchemeHandler::entryPath() const {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/applications/"_s + m_identifier + u".desktop"_s;
}

QString SchemeHandler::iconPath(const QString& place) const {
    const QFileInfo name(place);
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/icons/hicolor/"_s + name.path() + u'/' + m_identifier + u'.' + name.suffix();
}

QByteArray SchemeHandler::entryBytes() const {
    const QString shown = m_icons.isEmpty()
                              ? u"NoDisplay=true\n"_s
                              : u"Icon="_s + m_identifier + u"\nCategories=Utility;Office;\n"_s;
    return (u"[Desktop Entry]\n"
            u"Type=Application\n"
            u"Name=Tivela\n"
            u"Comment=Translate the selection from the tray\n"
            u"Exec="_s +
            DesktopEntry::execValue(m_program, {u"%u"_s}) +
            u"\n"
            u"Terminal=false\n"_s +
            shown + u"MimeType=x-scheme-handler/tivela;\n"_s)
        .toUtf8();
}

// A development build beside an installed copy must not take the links the installed copy's
// bridge and web pages open: they would start a build that may be gone tomorrow, on its own
// data. Its entry is still written, so the links come to it once the installed copy is gone.
bool SchemeHandler::leavesLinksToInstalledCopy() const {
    const QString dev = u".dev"_s;
    if (!m_identifier.endsWith(dev))
        return false;
    const QString installed =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        u"/applications/"_s + m_identifier.chopped(dev.size()) + u".desktop"_s;
    const auto exec = DesktopEntry::parseExec(DesktopEntry::read(installed).value(u"Exec"_s));
    return exec && !exec->isEmpty() && Paths::isInstalledProgram(exec->first());
}

// The icons before the entry that names them; one the bundle lacks is left out.
bool SchemeHandler::installIcons() const {
    for (const QString& place : iconPlaces()) {
        QFile icon(m_icons + u'/' + place);
        if (!icon.exists())
            continue;
        if (!icon.open(QIODevice::ReadOnly) ||
            !DesktopEntry::write(iconPath(place), icon.readAll()))
            return false;
    }
    return true;
}

void SchemeHandler::install() {
    if (m_process)
        return;
    if (m_program.isEmpty() || (!m_icons.isEmpty() && !installIcons()) ||
        !DesktopEntry::write(entryPath(), entryBytes())) {
        QTimer::singleShot(0, this, [this] { Q_EMIT finished(false); });
        return;
    }
    if (leavesLinksToInstalledCopy()) {
        QTimer::singleShot(0, this, [this] { Q_EMIT finished(true); });
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
