#pragma once

#include <QString>

namespace tivela {

// Starting the application when the user logs in: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<bundle identifier>.desktop, so a development build keeps an
// entry of its own.
class LoginItem {
public:
    enum class Status {
        notRegistered = 0,
        enabled = 1,
        // This copy's program is missing: nothing to start.
        notFound = 3,
    };

    // An entry at entryPath that starts program.
    LoginItem(QString entryPath, QString program);
    // This copy's: the bundle's bin/tivela under its identifier's entry.
    static LoginItem mainApp();

    // Enabled when the entry exists, is not hidden or switched off, and starts this copy's
    // program.
    Status status() const;
    // Writes the entry; false when the program is missing or the file cannot be written.
    bool registerItem();
    // Removes the entry; false when there was none or it cannot be removed.
    bool unregister();

    const QString& entryPath() const { return m_entryPath; }

private:
    QString m_entryPath;
    QString m_program;
};

} // namespace tivela
