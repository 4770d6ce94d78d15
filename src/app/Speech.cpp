#include "app/Speech.h"

#include "core/Paths.h"

#include <QFile>

#include <sys/stat.h>

#include <optional>

namespace tivela::Speech {
namespace {

// One version of the settings file. A save writes a new file and renames it over the old one,
// so the inode and the change time move with every save, whichever program made it; a missing
// file is a version too.
struct Version {
    QString path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    friend bool operator==(const Version& a, const Version& b) {
        return a.path == b.path && a.exists == b.exists && a.device == b.device &&
               a.inode == b.inode && a.size == b.size && same(a.modified, b.modified) &&
               same(a.changed, b.changed);
    }

    static bool same(timespec a, timespec b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }
};

Version versionOf(const QString& path) {
    Version version{path};
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return version;
    version.exists = true;
    version.device = status.st_dev;
    version.inode = status.st_ino;
    version.size = status.st_size;
    version.modified = status.st_mtim;
    version.changed = status.st_ctim;
    return version;
}

} // namespace

QStringList hints() {
    // The listen buttons ask on every keystroke: the file is parsed again only once it changed.
    // Per thread, so callers share nothing.
    thread_local std::optional<Version> read;
    thread_local QStringList cached;
    const Version current = versionOf(Paths::defaultsFile());
    if (read == current)
        return cached;
    read = current;
    const auto pair = SharedSettings::pair();
    cached = pair ? QStringList{pair->mine, pair->second} : QStringList();
    return cached;
}

} // namespace tivela::Speech
