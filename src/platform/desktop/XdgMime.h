#pragma once

#include <QObject>
#include <QStringList>

class QProcess;

namespace tivela {

// xdg-mime runs as a shell script with helpers of its own (awk, mv, grep): it is started in a
// process group of its own so that ending it ends all of them, and it never outlives the
// application. At quit a run gets a short time to finish, so a mimeapps.list being rewritten is
// left whole, then the group is killed and xdg-mime reaped.
namespace XdgMime {

// How long a run may go on once the application is quitting.
inline constexpr int quitMilliseconds = 500;

// xdg-mime with the arguments, started a turn of the loop later; its input and errors on the
// null device, its output readable. It is killed after bound milliseconds (finished() then tells a
// crash), at quit as above, and when parent goes. The caller deletes it once finished.
QProcess* start(const QStringList& arguments, int bound, QObject* parent);

// Kills the process's group and reaps the process; nothing when it is not running.
void end(QProcess* process);

} // namespace XdgMime

} // namespace tivela
