#include "bridge/HandOverUrl.h"

#include "core/BridgeWire.h"

#include <QList>
#include <QTextBoundaryFinder>
#include <QUrl>

#include <utility>

using namespace Qt::StringLiterals;

namespace tivela::HandOverUrl {

using namespace BridgeWire;

namespace {

// How many bytes a UTF-16 unit adds to a percent-encoded UTF-8 query value.
qsizetype encodedBytes(QChar unit) {
    const char16_t c = unit.unicode();
    if (c < 0x80)
        return QChar::isLetterOrNumber(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~' ? 1
                                                                                              : 3;
    if (c < 0x800)
        return 6;
    if (unit.isLowSurrogate())
        return 0;
    return unit.isHighSurrogate() ? 12 : 9;
}

// The longest beginning of a text, cut between characters, whose encoding takes at most
// `budget` bytes.
QString fittingBeginning(const QString& text, qsizetype budget) {
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype fits = 0;
    qsizetype bytes = 0;
    for (qsizetype at = 0, next = 0; (next = characters.toNextBoundary()) != -1; at = next) {
        for (qsizetype i = at; i < next; ++i)
            bytes += encodedBytes(text[i]);
        if (bytes > budget)
            break;
        fits = next;
    }
    return text.left(fits);
}

QString query(const QList<std::pair<QString, QString>>& items) {
    QString text;
    for (const auto& [key, value] : items) {
        if (!text.isEmpty())
            text += u'&';
        text += key + u'=' + QString::fromLatin1(QUrl::toPercentEncoding(value));
    }
    return text;
}

} // namespace

QString translate(const std::optional<QString>& text, bool cut) {
    if (!text || text->isEmpty())
        return u"tivela://translate"_s;
    QList<std::pair<QString, QString>> items{{Key::text, *text}};
    if (cut)
        items.append({Key::cut, u"1"_s});
    return u"tivela://translate?"_s + query(items);
}

QString download(const QString& from, const QString& to) {
    return u"tivela://download?"_s + query({{Key::from, from}, {Key::to, to}});
}

QString translateFitting(QString text, bool& cut) {
    if (translate(text, cut).toUtf8().size() >= maxArgumentBytes) {
        // Around the text, the URL takes what it takes around a text of one byte.
        text = fittingBeginning(text, maxArgumentBytes - translate(u"x"_s, true).size());
        cut = true;
    }
    return translate(text, cut);
}

} // namespace tivela::HandOverUrl
