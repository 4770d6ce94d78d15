#include "core/TextFit.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// Two sizes closer than this are one size.
constexpr double sameSize = 0.001;
// Whatever the numbers, a ladder stays short enough to walk on every keystroke.
constexpr qsizetype maxSizes = 1000;

} // namespace

QList<double> FontFit::sizes() const {
    QList<double> ladder;
    if (std::isfinite(base) && std::isfinite(step) && step > 0) {
        for (double size = base; size > floor + sameSize && ladder.size() < maxSizes - 1;
             size -= step)
            ladder << size;
    } else if (base > floor + sameSize) {
        ladder << base;
    }
    ladder << floor;
    return ladder;
}

double FontFit::choose(std::optional<double> current, const Fits& fits) const {
    if (!fits)
        return floor;
    const QList<double> ladder = sizes();
    if (!current) {
        for (const double size : ladder)
            if (fits(size, 1))
                return size;
        return floor;
    }
    // Largest first, so of two equally near sizes the larger is met first and kept.
    double nearest = ladder.first();
    for (const double size : ladder)
        if (std::abs(size - *current) < std::abs(nearest - *current))
            nearest = size;
    if (fits(nearest, 1)) {
        for (const double size : ladder)
            if (size > nearest + sameSize && fits(size, 1 - growSlack))
                return size;
        return nearest;
    }
    for (const double size : ladder)
        if (size < nearest - sameSize && fits(size, 1))
            return size;
    return floor;
}

namespace TextMeasure {
namespace {

struct Font {
    QFont font;
    double lineHeight = 0;
};

// The system interface font at a size in device-independent pixels. Font engines work in whole
// pixels, so a fractional size is set as the nearest whole one. Fonts need a QGuiApplication;
// a process without one (the bridge host, a plain core program) can make none.
std::optional<Font> systemFont(double size) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return std::nullopt;
    if (!std::isfinite(size) || size < 0.5 || size > 10000)
        return std::nullopt;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(int(std::lround(size)));
    const QFontMetricsF metrics(font);
    return Font{font, metrics.ascent() + metrics.descent() + metrics.leading()};
}

// Line ends are what counts: every kind of line end becomes one line feed.
QString withLineFeeds(const QString& text) {
    QString result = text;
    result.replace(u"\r\n"_s, u"\n"_s);
    result.replace(u'\r', u'\n');
    result.replace(QChar::ParagraphSeparator, u'\n');
    result.replace(QChar::LineSeparator, u'\n');
    return result;
}

bool isDash(QChar c) {
    switch (c.unicode()) {
    case u'-':
    case 0x2010:
    case 0x2011:
    case 0x2013:
    case 0x2014:
    case u'/':
    case 0x00AD:
        return true;
    default:
        return false;
    }
}

bool isAlphanumeric(QChar c) {
    return c.isLetterOrNumber() || c.isMark();
}

// Whether a line that ends at `end` (in UTF-16 units) cuts a word in two.
bool breaksWord(const QString& text, qsizetype end) {
    if (end <= 0 || end >= text.size())
        return false;
    const QChar a = text[end - 1];
    const QChar b = text[end];
    if (a.isSurrogate() || b.isSurrogate() || a.isSpace() || b.isSpace() || isDash(a))
        return false;
    return isAlphanumeric(a) && isAlphanumeric(b) && !noSpaceScript(a.unicode()) &&
           !noSpaceScript(b.unicode());
}

// Text laid out in chunks is cut here, never between the halves of a surrogate pair.
qsizetype cutBefore(const QString& text, qsizetype at) {
    return at > 0 && text[at - 1].isHighSurrogate() ? at - 1 : at;
}

} // namespace

bool noSpaceScript(char32_t c) {
    const auto within = [c](char32_t first, char32_t last) { return c >= first && c <= last; };
    return within(0x0E00, 0x0EFF) || within(0x1780, 0x17FF) || within(0x1000, 0x109F) ||
           within(0x3040, 0x30FF) || within(0x31F0, 0x31FF) || within(0x3130, 0x318F) ||
           within(0x1100, 0x11FF) || within(0xAC00, 0xD7AF) || within(0x3400, 0x4DBF) ||
           within(0x4E00, 0x9FFF) || within(0xF900, 0xFAFF);
}

QTextOption::WrapMode wrapMode(const QString& text) {
    if (text.size() <= longWordCharacters)
        return QTextOption::WrapAtWordBoundaryOrAnywhere;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
    for (qsizetype last = 0, next = 0; (next = breaks.toNextBoundary()) != -1; last = next)
        if (next - last > longWordCharacters)
            return QTextOption::WrapAnywhere;
    return QTextOption::WrapAtWordBoundaryOrAnywhere;
}

QList<qsizetype> lineEnds(const QString& text, const QFont& font, double width, qsizetype limit) {
    // The layout ignores line feeds; line separators are what it breaks at.
    QString shown = text;
    shown.replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QList<qsizetype> ends;
    layout.beginLayout();
    while (limit < 0 || ends.size() < limit) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        ends << line.textStart() + line.textLength();
    }
    layout.endLayout();
    return ends;
}

double lineHeight(double size) {
    const auto font = systemFont(size);
    return font ? font->lineHeight : 1.2 * size;
}

Lines lines(const QString& text, double size, double width) {
    const auto font = systemFont(size);
    if (!font)
        return {};
    QString laid = withLineFeeds(text);
    // A last empty line counts too.
    if (laid.endsWith(u'\n'))
        laid += u' ';
    const QList<qsizetype> ends = lineEnds(laid, font->font, width, -1);
    if (ends.isEmpty())
        return {};
    const bool broken = std::any_of(ends.cbegin(), ends.cend() - 1,
                                    [&](qsizetype end) { return breaksWord(laid, end); });
    return {double(ends.size()) * font->lineHeight, int(ends.size()), broken};
}

bool fits(const QString& text, double size, double width, double height) {
    if (!(width > 1) || !(height > 1))
        return false;
    if (text.isEmpty())
        return true;
    const auto font = systemFont(size);
    if (!font)
        return lines(text, size, width).height <= height + 0.5;
    QString laid = withLineFeeds(text);
    if (laid.endsWith(u'\n'))
        laid += u' ';
    // A box of any height holds no more lines than a text can have.
    const auto allowed = qsizetype(std::min(std::floor((height + 0.5) / font->lineHeight + 1e-9),
                                            double(std::numeric_limits<qsizetype>::max() / 2)));

    // Refitting runs on every keystroke and long texts overflow early, so the text is laid
    // out in growing chunks, and only as far as it takes to know. The last two lines of a
    // chunk may end differently in the whole text and are not trusted.
    for (qsizetype chunk = 1024;; chunk *= 4) {
        const bool whole = chunk >= laid.size();
        const QString part = whole ? laid : laid.left(cutBefore(laid, chunk));
        const QList<qsizetype> ends = lineEnds(part, font->font, width, allowed + 3);
        const qsizetype trusted = whole ? ends.size() : std::max<qsizetype>(ends.size() - 2, 0);
        for (qsizetype i = 0; i < trusted; ++i)
            if (breaksWord(laid, ends[i]))
                return false;
        if (trusted > allowed)
            return false;
        if (whole)
            return true;
    }
}

} // namespace TextMeasure

} // namespace tivela
