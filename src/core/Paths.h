#pragma once

#include "core/LanguagePair.h"

#include <QJsonObject>
#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

namespace tivela {

// An install folder of Tivela: bin/, libexec/ and bundle.json with the information keys.
struct Bundle {
    QString root;
    QJsonObject info;

    QString identifier() const { return string(QStringLiteral("CFBundleIdentifier")); }
    // The information key's text; empty when it is missing or not text.
    QString string(const QString& key) const { return info.value(key).toString(); }
};

// Where both programs find their bundle, data folder, packs, database and shared settings.
// Locations are worked out on every access so deleted folders come back; only the bundle and
// the development switch are fixed for the life of the process.
namespace Paths {

// The bundle a program at programPath belongs to: symbolic links resolved, two folders up,
// and only where bundle.json reads as a JSON object there.
std::optional<Bundle> findBundle(const QString& programPath);
// The bundle of the running program (found from /proc/self/exe), once per process.
const std::optional<Bundle>& appBundle();
// An information key of the running program's bundle; empty without a bundle or key.
QString bundleString(const QString& key);

// Test programs call this first thing: it stands for "the test framework is loaded".
void markTestProcess();
bool isDevBuild();

QString bundleID();
QString bridgeName();
// The data folder, created on access (a failure is ignored).
QString support();
// Where the data folder is, without creating it.
QString supportPath();
QString lexicon();
QString database();
// The settings suite both programs share; a new object on every access, so the other
// program's writes are seen.
std::unique_ptr<QSettings> defaults();
QString defaultsFile();
// The application's own settings (shortcut, first launch, updates), which the host program never
// reads; a new object on every access, like the shared suite.
std::unique_ptr<QSettings> standardDefaults();
QString standardDefaultsFile();

} // namespace Paths

// The values kept in the shared settings suite.
namespace SharedSettings {

// The saved language pair, read afresh; nothing when absent or unreadable.
std::optional<LanguagePair> pair();
// Saves the pair; nothing leaves the stored pair untouched.
void setPair(const std::optional<LanguagePair>& pair);

} // namespace SharedSettings

} // namespace tivela
