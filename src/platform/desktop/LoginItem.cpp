#include "platform/desktop/LoginItem.h"

#include "core/Paths.h"
#include "platform/desktop/DesktopEntry.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

bool samePath(const QString& a, const QString& b) {
    if (a == b)
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

LoginItem::LoginItem(QString entryPath, QString program)
    : m_entryPath(std::move(entryPath))
    , m_program(std::move(program)) {
}

LoginItem LoginItem::mainApp() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const auto& bundle = Paths::appBundle();
    return LoginItem(folder + u"/autostart/"_s + Paths::bundleID() + u".desktop"_s,
                     bundle ? bundle->root + u"/bin/tivela"_s : QString());
}

LoginItem::Status LoginItem::status() const {
    if (m_program.isEmpty() || !QFileInfo(m_program).isExecutable())
        return Status::notFound;
    const QMap<QString, QString> entry = DesktopEntry::read(m_entryPath);
    if (entry.isEmpty() || entry.value(u"Hidden"_s) == u"true" ||
        entry.value(u"X-GNOME-Autostart-enabled"_s) == u"false")
        return Status::notRegistered;
    const auto exec = DesktopEntry::parseExec(entry.value(u"Exec"_s));
    if (!exec || exec->isEmpty() || !samePath(exec->first(), m_program))
        return Status::notRegistered;
    return Status::enabled;
}

bool LoginItem::registerItem() {
    if (status() == Status::notFound)
        return false;
    const QString text = u"[Desktop Entry]\n"
                         u"Type=Application\n"
                         u"Name=Tivela\n"
                         u"Comment=Translate the selection from the tray\n"
                         u"Exec="_s +
                         DesktopEntry::execValue(m_program) +
                         u"\n"
                         u"Terminal=false\n"
                         u"X-GNOME-Autostart-enabled=true\n"_s;
    return DesktopEntry::write(m_entryPath, text.toUtf8());
}

bool LoginItem::unregister() {
    return QFile::remove(m_entryPath);
}

} // namespace tivela
