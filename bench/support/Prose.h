#pragma once

#include <QString>

namespace tivela::bench {

// English prose of the given length in UTF-16 code units, in paragraphs, as a user might paste.
inline QString prose(qsizetype length) {
    const QString paragraph = QStringLiteral(
        "Nothing the user types leaves the machine. The translator lives in the tray, "
        "translates the selected text on a shortcut and shows dictionary cards for single "
        "words, with a history and a phrasebook kept on disk.\n");
    QString result;
    while (result.size() < length)
        result += paragraph;
    result.truncate(length);
    return result;
}

} // namespace tivela::bench
