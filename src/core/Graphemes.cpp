#include "core/Graphemes.h"

#include <QTextBoundaryFinder>

namespace tivela::Graphemes {

qsizetype boundaryAfter(const QString& text, qsizetype count) {
    // Each character is at least one UTF-16 unit, so a text of no more units needs no counting.
    if (count <= 0 || text.size() <= count)
        return count <= 0 && !text.isEmpty() ? 0 : -1;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype seen = 0; finder.toNextBoundary() != -1;)
        if (++seen == count && finder.position() < text.size())
            return finder.position();
    return -1;
}

QString first(const QString& text, qsizetype count) {
    const qsizetype end = boundaryAfter(text, count);
    return end < 0 ? text : text.left(end);
}

bool longerThan(const QString& text, qsizetype count) {
    return boundaryAfter(text, count) >= 0;
}

qsizetype count(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    while (finder.toNextBoundary() != -1)
        ++seen;
    return seen;
}

} // namespace tivela::Graphemes
