#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <variant>

namespace tivela {

// Top-level values of an INI file in the form QSettings writes, read and written without
// QSettings: it turns a stored "@Variant(...)" into an object of whatever type and size those
// bytes name, and a file both programs share is no place to take such orders from.
namespace IniFile {

// Text, or the bytes of a value QSettings stored as a byte array.
using Value = std::variant<QString, QByteArray>;

// The plain values among the top-level keys ("[General]" and before any section): lists, typed
// values ("@Variant(...)", "@Rect(...)"), keys written with escapes and values longer than
// maxValueBytes as written are left out. The last of repeated keys counts, as in QSettings.
QHash<QString, Value> read(const QByteArray& content, qsizetype maxValueBytes);

// The content with a top-level key set to the value as QSettings would write it; other lines
// stay as they were. The key is letters, digits, "_", "-" and "." only.
QByteArray withValue(const QByteArray& content, const QString& key, const Value& value);

} // namespace IniFile

} // namespace tivela
