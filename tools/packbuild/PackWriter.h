#pragma once

#include "PackLines.h"

#include <QString>
#include <QStringList>

namespace tivela::packbuild {

// Writes pack files: the header and the key lines as text, compressed into one gzip member,
// moved into place only once the application's own reader finds every line of it.
namespace PackWriter {

QByteArray text(const QStringList& header, const Lines& lines);
// Writes <folder>/<lang>.lex.gz; false with a message when it cannot. The lines are used up.
bool write(const QString& lang, const QStringList& header, Lines& lines, const QString& folder,
           QString* error);
// Writes the index of the packs in a folder beside them: each pack's language, file, size and
// SHA-256, so that only packs that exist are offered.
bool writeIndex(const QString& folder, QString* error);

} // namespace PackWriter

} // namespace tivela::packbuild
