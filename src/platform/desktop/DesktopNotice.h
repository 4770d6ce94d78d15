#pragma once

#include <QFuture>
#include <QString>

namespace tivela {

// A note for the person through the desktop's notification service
// (org.freedesktop.Notifications on the session bus), for what they would otherwise never see.
// Nothing here waits on the bus; a session without the service shows nothing.
namespace DesktopNotice {

// Shows the note unless one of this key was shown while the same session bus lasts (its id is
// remembered in the application's own settings). Whether the service showed it: false too
// when the session has no such service, or the same note is being asked for already.
QFuture<bool> showOncePerSession(const QString& key, const QString& summary, const QString& body);

} // namespace DesktopNotice

} // namespace tivela
