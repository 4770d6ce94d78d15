#pragma once

#include <QList>
#include <QString>
#include <QTextOption>

#include <functional>
#include <optional>

class QFont;

namespace tivela {

// The ladder of font sizes the input and output boxes fit their text to: a short phrase large,
// a long text smaller, down to a floor. Growing back needs spare width, so that a size does not
// flip back and forth between two steps while the user types. Sizes are in device-independent
// pixels. Free of state: any thread may use it.
struct FontFit {
    double base = 0;
    double floor = 0;
    double step = 0;
    // How much narrower the box is taken to be before the size may grow (a fraction).
    double growSlack = 0;

    static const FontFit input;
    static const FontFit output;

    // Given a size and a width factor, whether the text fits at that size in the box with its
    // width multiplied by the factor.
    using Fits = std::function<bool(double size, double widthFactor)>;

    // Largest first; the floor is always the last size.
    QList<double> sizes() const;
    // The size to use now, given the size in use (none for a fresh box).
    double choose(std::optional<double> current, const Fits& fits) const;

    friend bool operator==(const FontFit&, const FontFit&) = default;
};

inline const FontFit FontFit::input{32, 16, 2, 0.1};
inline const FontFit FontFit::output{34, 17, 2, 0.1};

// Whether a text set in the system interface font fits a box without breaking a word across
// lines. Needs a QGuiApplication for fonts; without one no font can be made, and every text
// measures nothing. Free of state: any thread may use it.
namespace TextMeasure {

struct Lines {
    double height = 0;
    int count = 0;
    bool brokenWord = false;

    friend bool operator==(const Lines&, const Lines&) = default;
};

bool fits(const QString& text, double size, double width, double height);
Lines lines(const QString& text, double size, double width);
// Ascent, descent and leading of the system interface font at the size; 1.2 times the size
// when no font can be made.
double lineHeight(double size);
// Scripts written without spaces, whose lines may break between any two letters.
bool noSpaceScript(char32_t scalar);
// Qt's word wrap looks for the end of a word again for every line it breaks inside it, so a
// token of a hundred thousand characters (base64, minified code) takes it seconds. A text
// holding a word longer than this wraps anywhere instead; shorter words cost nothing, and a
// word longer than a line still breaks where it must.
inline constexpr qsizetype longWordCharacters = 1000;
// How a box wraps a text: at word boundaries, or anywhere while it holds a long word.
QTextOption::WrapMode wrapMode(const QString& text);
// Where each line of a text ends when laid out in a font at a width, stopping after `limit`
// lines (no limit when negative). Line feeds break lines; words wrap, and a word longer than a
// line breaks where it must.
QList<qsizetype> lineEnds(const QString& text, const QFont& font, double width, qsizetype limit);

} // namespace TextMeasure

} // namespace tivela
