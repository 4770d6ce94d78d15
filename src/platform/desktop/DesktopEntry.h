#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

// Desktop entry files (autostart entries, URL handlers), written and read by the rules of the
// freedesktop Desktop Entry Specification. Not through QSettings: it splits values at commas,
// strips quotes and rewrites keys it does not know.
namespace DesktopEntry {

// An Exec value starting this program: quoted where it needs it, "%" doubled, then escaped as a
// string value. Field codes (%u) are appended as they are.
QString execValue(const QString& program, const QStringList& fieldCodes = {});
// The arguments of an Exec value: the string escapes undone, then split and unquoted. Field
// codes stay as they are ("%u"); nothing when a quote is left open.
std::optional<QStringList> parseExec(const QString& value);
// The keys of the [Desktop Entry] group, string escapes undone; empty when the file cannot
// be read.
QMap<QString, QString> read(const QString& path);
// Writes the bytes only when they differ from the file's; true when the file holds them.
// `changed` tells whether it was written.
bool write(const QString& path, const QByteArray& bytes, bool* changed = nullptr);

} // namespace DesktopEntry

} // namespace tivela
