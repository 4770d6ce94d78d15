#include "core/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <atomic>

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

std::optional<LanguagePair> SharedSettings::pair() {
    const QVariant stored = Paths::defaults()->value(u"pair"_s);
    if (stored.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(stored.toByteArray());
    if (!document.isObject())
        return std::nullopt;
    return fromJson<LanguagePair>(document.object());
}

void SharedSettings::setPair(const std::optional<LanguagePair>& pair) {
    if (!pair)
        return;
    const auto settings = Paths::defaults();
    settings->setValue(u"pair"_s, QJsonDocument(toJson(*pair)).toJson(QJsonDocument::Compact));
    settings->sync();
}

} // namespace tivela
