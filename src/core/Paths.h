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
// Whether the program is an executable file of an installed copy: one whose bundle is not a
// development build's. A development build leaves the desktop's links and the browsers to it.
bool isInstalledProgram(const QString& programPath);
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
// The settings suite both programs share as QSettings sees it; a new object on every access, so
// the other program's writes are seen. QSettings builds an object of any type and size a stored
// "@Variant(...)" names, so the programs read and write the shared values through SharedSettings,
// which keeps to the same file format.
std::unique_ptr<QSettings> defaults();
QString defaultsFile();
// The application's own settings (shortcut, first launch, updates), which the host program never
// reads; a new object on every access, like the shared suite.
std::unique_ptr<QSettings> standardDefaults();
QString standardDefaultsFile();

} // namespace Paths

// The values kept in the shared settings suite, as plain text and bytes. The file is read again
// only once it changed; one larger than maxFileBytes is taken for damage and reads as empty,
// with one line on standard error for each change.
namespace SharedSettings {

constexpr qint64 maxFileBytes = 1024 * 1024;
// Longer values, as written, read as absent.
constexpr qsizetype maxValueBytes = 1024;

// The saved language pair; nothing when absent, unreadable or not two languages of the tables.
std::optional<LanguagePair> pair();
// Saves the pair; nothing leaves the stored pair untouched.
void setPair(const std::optional<LanguagePair>& pair);
// The text stored under a key; nothing when absent or not text.
std::optional<QString> string(const QString& key);
// Stores a text under a key; the file's other lines stay as they are.
void setString(const QString& key, const QString& value);

} // namespace SharedSettings

} // namespace tivela
