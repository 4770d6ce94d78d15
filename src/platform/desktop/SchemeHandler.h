#pragma once

#include <QObject>
#include <QString>

class QProcess;

namespace tivela {

// Makes this copy the handler of tivela: URLs, which the bridge opens with xdg-open: a desktop
// entry $XDG_DATA_HOME/applications/<bundle identifier>.desktop, then `xdg-mime default` for
// x-scheme-handler/tivela. mimeapps.list is xdg-mime's to edit: QSettings would mangle its keys.
// The entry of an installed copy is also its launcher, shown in the desktop's menu with the
// bundle's icon, which goes into the user's hicolor theme under the identifier's name; a
// development build's entry stays hidden.
class SchemeHandler : public QObject {
    Q_OBJECT

public:
    static constexpr int xdgMimeMilliseconds = 10000;

    // The entry for program, under the identifier's file name; a launcher with the icons of a
    // hicolor folder (its 48x48, 256x256 and scalable apps/tivela) when one is given.
    SchemeHandler(QString program, QString identifier, QString icons = {},
                  QObject* parent = nullptr);
    // A xdg-mime still running goes with the handler: its group is killed and reaped.
    ~SchemeHandler() override;
    // This copy's bin/tivela under its bundle identifier; the launcher unless a development
    // build.
    static SchemeHandler* mainApp(QObject* parent = nullptr);

    QString entryPath() const;
    QByteArray entryBytes() const;
    // Where an icon of the launcher goes, by its place in the hicolor folder
    // ("48x48/apps/tivela.png").
    QString iconPath(const QString& place) const;

    // Writes the entry when its bytes differ, then starts xdg-mime in the background;
    // finished() tells the outcome. Without a program nothing is written. A development
    // build's entry does not become the default while an installed copy's entry names a
    // program that is there.
    void install();

Q_SIGNALS:
    // Whether the entry is written and xdg-mime ended well within its time.
    void finished(bool ok);

private:
    bool installIcons() const;
    bool leavesLinksToInstalledCopy() const;

    QString m_program;
    QString m_identifier;
    QString m_icons;
    QProcess* m_process = nullptr;
};

} // namespace tivela
