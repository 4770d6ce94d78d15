#pragma once

#include <QObject>
#include <QString>

class QProcess;

namespace tivela {

// Makes this copy the handler of tivela: URLs, which the bridge opens with xdg-open: a desktop
// entry $XDG_DATA_HOME/applications/<bundle identifier>.desktop, then `xdg-mime default` for
// x-scheme-handler/tivela. mimeapps.list is xdg-mime's to edit: QSettings would mangle its keys.
class SchemeHandler : public QObject {
    Q_OBJECT

public:
    static constexpr int xdgMimeMilliseconds = 10000;

    // The entry for program, under the identifier's file name.
    SchemeHandler(QString program, QString identifier, QObject* parent = nullptr);
    // A xdg-mime still running goes with the handler: its group is killed and reaped.
    ~SchemeHandler() override;
    // This copy's bin/tivela under its bundle identifier.
    static SchemeHandler* mainApp(QObject* parent = nullptr);

    QString entryPath() const;
    QByteArray entryBytes() const;

    // Writes the entry when its bytes differ, then starts xdg-mime in the background;
    // finished() tells the outcome. Without a program nothing is written.
    void install();

Q_SIGNALS:
    // Whether the entry is written and xdg-mime ended well within its time.
    void finished(bool ok);

private:
    QString m_program;
    QString m_identifier;
    QProcess* m_process = nullptr;
};

} // namespace tivela
