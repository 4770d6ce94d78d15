#include "core/Paths.h"

#include "core/IniFile.h"
#include "core/Languages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <QMutex>
#include <QSaveFile>
#include <QStandardPaths>

#include <atomic>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

std::atomic<bool>& testProcess() {
    static std::atomic<bool> flag{false};
    return flag;
}

QString ensured(const QString& path) {
    QDir().mkpath(path);
    return path;
}

} // namespace

std::optional<Bundle> Paths::findBundle(const QString& programPath) {
    const QString real = QFileInfo(programPath).canonicalFilePath();
    if (real.isEmpty())
        return std::nullopt;
    QDir root = QFileInfo(real).dir();
    if (!root.cdUp())
        return std::nullopt;
    QFile file(root.filePath(u"bundle.json"_s));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return std::nullopt;
    return Bundle{root.absolutePath(), document.object()};
}

bool Paths::isInstalledProgram(const QString& programPath) {
    const QFileInfo program(programPath);
    if (!program.isFile() || !program.isExecutable())
        return false;
    const auto bundle = findBundle(programPath);
    return bundle && !bundle->identifier().isEmpty() && !bundle->identifier().endsWith(u".dev"_s);
}

const std::optional<Bundle>& Paths::appBundle() {
    static const std::optional<Bundle> bundle = findBundle(u"/proc/self/exe"_s);
    return bundle;
}

QString Paths::bundleString(const QString& key) {
    const auto& bundle = appBundle();
    return bundle ? bundle->string(key) : QString();
}

void Paths::markTestProcess() {
    testProcess() = true;
}

bool Paths::isDevBuild() {
    static const bool dev = [] {
        const auto& bundle = appBundle();
        const QString identifier = bundle ? bundle->identifier() : QString();
        return identifier.endsWith(u".dev"_s) || testProcess().load();
    }();
    return dev;
}

QString Paths::bundleID() {
    return isDevBuild() ? u"dev.quorvanta.Tivela.dev"_s : u"dev.quorvanta.Tivela"_s;
}

QString Paths::bridgeName() {
    return u"dev.quorvanta.tivela"_s;
}

QString Paths::supportPath() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + u'/' + (isDevBuild() ? u"Tivela Dev"_s : u"Tivela"_s);
}

QString Paths::support() {
    return ensured(supportPath());
}

QString Paths::lexicon() {
    return ensured(support() + u"/Lexicon"_s);
}

QString Paths::database() {
    return support() + u"/tivela.sqlite"_s;
}

QString Paths::defaultsFile() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + u'/' + bundleID() + u".conf"_s;
}

std::unique_ptr<QSettings> Paths::defaults() {
    return std::make_unique<QSettings>(defaultsFile(), QSettings::IniFormat);
}

QString Paths::standardDefaultsFile() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base + u'/' + bundleID() + u"/app.conf"_s;
}

std::unique_ptr<QSettings> Paths::standardDefaults() {
    return std::make_unique<QSettings>(standardDefaultsFile(), QSettings::IniFormat);
}

namespace {

// One state of a file: a write in place changes its size or times, a replacement its inode.
struct FileVersion {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    friend bool operator==(const FileVersion& a, const FileVersion& b) {
        const auto same = [](const timespec& x, const timespec& y) {
            return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec;
        };
        return a.device == b.device && a.inode == b.inode && a.size == b.size &&
               same(a.modified, b.modified) && same(a.changed, b.changed);
    }
};

struct SharedValues {
    QMutex mutex;
    QString path;
    // Nothing for a file that could not be opened.
    std::optional<FileVersion> version;
    QHash<QString, IniFile::Value> values;
};

SharedValues& sharedValues() {
    static SharedValues values;
    return values;
}

// The shared file's content within the cap; nothing beyond it.
std::optional<QByteArray> boundedContent(QFile& file) {
    QByteArray content = file.read(SharedSettings::maxFileBytes + 1);
    if (content.size() > SharedSettings::maxFileBytes)
        return std::nullopt;
    return content;
}

// Both programs ask on every request and keystroke: the file is parsed only once it changed.
QHash<QString, IniFile::Value> values() {
    const QString path = Paths::defaultsFile();
    QFile file(path);
    std::optional<FileVersion> version;
    struct stat status {};
    if (file.open(QIODevice::ReadOnly) && ::fstat(file.handle(), &status) == 0)
        version = FileVersion{status.st_dev, status.st_ino, status.st_size, status.st_mtim,
                              status.st_ctim};
    SharedValues& shared = sharedValues();
    const QMutexLocker locker(&shared.mutex);
    if (shared.path == path && shared.version == version)
        return shared.values;
    shared.path = path;
    shared.version = version;
    shared.values.clear();
    if (!version)
        return shared.values;
    const auto content =
        version->size > SharedSettings::maxFileBytes ? std::nullopt : boundedContent(file);
    if (!content) {
        qWarning("The shared settings file %s is larger than %lld bytes; it is ignored.",
                 qPrintable(path), qlonglong(SharedSettings::maxFileBytes));
        return shared.values;
    }
    shared.values = IniFile::read(*content, SharedSettings::maxValueBytes);
    return shared.values;
}

std::optional<IniFile::Value> value(const QString& key) {
    const auto all = values();
    const auto it = all.constFind(key);
    return it == all.cend() ? std::nullopt : std::optional(*it);
}

void setValue(const QString& key, const IniFile::Value& value) {
    const QString path = Paths::defaultsFile();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // The lock QSettings takes, so a write of the other program or an earlier release does not
    // interleave. Past the bound the write goes ahead: the file is replaced whole either way.
    QLockFile lock(path + u".lock"_s);
    lock.tryLock(5000);
    QByteArray content;
    QFile current(path);
    if (current.open(QIODevice::ReadOnly))
        content = boundedContent(current).value_or(QByteArray());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(IniFile::withValue(content, key, value));
    file.commit();
}

} // namespace

std::optional<LanguagePair> SharedSettings::pair() {
    const auto stored = value(u"pair"_s);
    const auto* json = stored ? std::get_if<QByteArray>(&*stored) : nullptr;
    if (!json)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*json);
    if (!document.isObject())
        return std::nullopt;
    const auto pair = fromJson<LanguagePair>(document.object());
    // Codes that name no language would fail every translation, or worse, for good.
    if (!pair || !Languages::isCode(pair->mine) || !Languages::isCode(pair->second))
        return std::nullopt;
    return pair;
}

void SharedSettings::setPair(const std::optional<LanguagePair>& pair) {
    if (!pair)
        return;
    setValue(u"pair"_s, QJsonDocument(toJson(*pair)).toJson(QJsonDocument::Compact));
}

std::optional<QString> SharedSettings::string(const QString& key) {
    const auto stored = value(key);
    const auto* text = stored ? std::get_if<QString>(&*stored) : nullptr;
    return text ? std::optional(*text) : std::nullopt;
}

void SharedSettings::setString(const QString& key, const QString& text) {
    setValue(key, text);
}

} // namespace tivela
