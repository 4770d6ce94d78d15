#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QObject>
#include <QPalette>

#include <optional>

class QPainter;
class QRectF;
class QWidget;

namespace tivela {

class ColorScheme;

// The look every view shares: the palette's five colours, each with a light and a dark value,
// our own light and dark palettes, and the interface font at a size in device-independent
// pixels. Colours are resolved from the palette of the widget that paints, so a change of
// palette recolours every view without rebuilding it.
namespace Theme {

// Whether a palette is a dark one, by the lightness of its window colour.
bool isDark(const QPalette& palette);

// The tint of the popover: active icon buttons, the selected tab, small borderless buttons.
QColor accent(const QPalette& palette);
// Filled buttons at rest and the due-card badge.
QColor accentFill(const QPalette& palette);
// Filled buttons while pressed.
QColor accentFillStrong(const QPalette& palette);
// The faint ground of the prompt cards.
QColor accentSoft(const QPalette& palette);
// The palette's violet, for headings of the word card and the translation of a card. Not the
// secondary text colour.
QColor secondary(const QPalette& palette);

// What is ready or allowed: a green that reads on either ground.
QColor positive(const QPalette& palette);

// Text that matters less, and text that matters least (placeholders, counts, meta lines).
QColor secondaryText(const QPalette& palette);
QColor tertiaryText(const QPalette& palette);

// How much a text or symbol stands out; each resolves to a colour of a palette. `violet` is
// secondary() above, not the secondary text colour.
enum class Tone { primary, secondary, tertiary, accent, violet, positive };
QColor color(Tone tone, const QPalette& palette);

// The two colours of the diagonal gradient behind rendered screenshots, top-left first.
QList<QColor> screenshotGround(bool dark);

// Our palette for the Fusion style.
QPalette palette(bool dark);
// Puts our style (Fusion with our scroll bars and check marks) and our palette on the whole
// application: menus, tooltips and dialogs are windows of their own and take the application's
// palette, not their parent's.
void apply(bool dark);

// The ring a focused control draws around itself, inside its rectangle: the accent's, unless a
// colour is given.
void paintFocusRing(QPainter& painter, const QRectF& rect, double radius, const QPalette& palette,
                    QColor color = {});

// The system interface font at a pixel size (whole pixels, as text measurement takes them).
QFont font(double pixels, QFont::Weight weight = QFont::Normal, bool italic = false);

} // namespace Theme

// Keeps the application's palette on the desktop's preference: dark or light as the portal
// says, and otherwise as light or dark as the palette the platform gave the application.
class Appearance : public QObject {
    Q_OBJECT

public:
    explicit Appearance(ColorScheme& scheme, QObject* parent = nullptr);

    bool isDark() const { return m_dark; }

Q_SIGNALS:
    void changed(bool dark);

private:
    void follow();

    ColorScheme& m_scheme;
    // What the platform chose, before our palette replaced it.
    bool m_platformDark;
    bool m_dark;
};

} // namespace tivela
