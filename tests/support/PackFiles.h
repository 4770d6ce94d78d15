#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

namespace tivela::test {

// Runs the pack generator (tivela-packgen) with these arguments; true when it succeeded.
bool generatePack(const QStringList& args);
// A small real German pack of 300 lines, generated once per process.
const QByteArray& smallGermanPack();
// The bytes as `gzip -c -n` compresses them: one member, a bare ten-byte header.
QByteArray gzip(const QByteArray& bytes);
// The text of a plain pack: a header line, then the key lines in key order (QString orders
// by UTF-16 code units, as packs do).
QByteArray packText(const std::map<QString, QString>& lines);
// Gzipped packs of en, ru, es and de holding what the check modes look up: run, ran → run,
// house, mountain and dog with their meanings; бежать, собака and its form собаки; correr,
// perro and montaña through the English senses, and perros, a form of perro; Hund → dog.
std::map<QString, QByteArray> checkPacks();
// Writes a file, making its folder first.
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// A process id that cannot exist: one above the system's largest (a lock left by a dead process).
qint64 deadPid();
// Sets a file's access and modification times the given number of seconds into the past.
void ageFile(const QString& path, int seconds);

} // namespace tivela::test
