#include "app/views/Theme.h"

#include "app/views/ViewStyle.h"
#include "platform/desktop/ColorScheme.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QStyle>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela {
namespace Theme {
namespace {

struct Dynamic {
    QRgb light;
    QRgb dark;
    double lightAlpha = 1;
    double darkAlpha = 1;

    QColor resolve(const QPalette& palette) const {
        const bool inDark = isDark(palette);
        QColor color = QColor::fromRgb(inDark ? dark : light);
        color.setAlphaF(float(inDark ? darkAlpha : lightAlpha));
        return color;
    }
};

constexpr Dynamic accentColor{0x2255D4, 0x8DB1FF};
constexpr Dynamic accentFillColor{0x2255D4, 0x3563E6};
constexpr Dynamic accentFillStrongColor{0x1A45B0, 0x2B57D6};
constexpr Dynamic accentSoftColor{0x2255D4, 0x8DB1FF, 0.10, 0.12};
constexpr Dynamic secondaryColor{0x6640D2, 0xB9A6FF};

// The label text colour at the opacities the system gives its secondary and tertiary labels.
constexpr Dynamic secondaryTextColor{0x000000, 0xFFFFFF, 0.50, 0.55};
constexpr Dynamic tertiaryTextColor{0x000000, 0xFFFFFF, 0.26, 0.25};

} // namespace

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor accent(const QPalette& palette) {
    return accentColor.resolve(palette);
}

QColor accentFill(const QPalette& palette) {
    return accentFillColor.resolve(palette);
}

QColor accentFillStrong(const QPalette& palette) {
    return accentFillStrongColor.resolve(palette);
}

QColor accentSoft(const QPalette& palette) {
    return accentSoftColor.resolve(palette);
}

QColor secondary(const QPalette& palette) {
    return secondaryColor.resolve(palette);
}

QColor secondaryText(const QPalette& palette) {
    return secondaryTextColor.resolve(palette);
}

QColor tertiaryText(const QPalette& palette) {
    return tertiaryTextColor.resolve(palette);
}

QColor positive(const QPalette& palette) {
    return isDark(palette) ? QColor(0x32, 0xD7, 0x4B) : QColor(0x28, 0xA7, 0x45);
}

QColor color(Tone tone, const QPalette& palette) {
    switch (tone) {
    case Tone::secondary:
        return secondaryText(palette);
    case Tone::tertiary:
        return tertiaryText(palette);
    case Tone::accent:
        return accent(palette);
    case Tone::violet:
        return secondary(palette);
    case Tone::positive:
        return positive(palette);
    case Tone::primary:
        break;
    }
    return palette.color(QPalette::WindowText);
}

QList<QColor> screenshotGround(bool dark) {
    if (dark)
        return {QColor(22, 28, 54), QColor(11, 13, 25)};
    return {QColor(223, 231, 253), QColor(241, 236, 252)};
}

QPalette palette(bool dark) {
    const QColor window = dark ? QColor(0x26, 0x26, 0x29) : QColor(0xF4, 0xF4, 0xF6);
    const QColor base = dark ? QColor(0x1E, 0x1E, 0x20) : QColor(0xFF, 0xFF, 0xFF);
    const QColor button = dark ? QColor(0x38, 0x38, 0x3C) : QColor(0xFC, 0xFC, 0xFD);
    const QColor text = dark ? QColor(0xEC, 0xEC, 0xEE) : QColor(0x1D, 0x1D, 0x1F);

    QPalette p(button, window);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText})
        p.setColor(role, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, dark ? QColor(0x2C, 0x2C, 0x30) : QColor(0xF7, 0xF7, 0xF8));
    p.setColor(QPalette::ToolTipBase, dark ? QColor(0x34, 0x34, 0x38) : QColor(0xFF, 0xFF, 0xFF));
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, accentFill(p));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, accent(p));
    p.setColor(QPalette::LinkVisited, accent(p));
    p.setColor(QPalette::PlaceholderText, tertiaryText(p));

    QColor disabled = text;
    disabled.setAlphaF(0.3f);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight,
               dark ? QColor(0x48, 0x48, 0x4C) : QColor(0xD8, 0xD8, 0xDC));
    return p;
}

void apply(bool dark) {
    if (!qobject_cast<ViewStyle*>(QApplication::style()))
        QApplication::setStyle(new ViewStyle);
    QApplication::setPalette(palette(dark));
}

void paintFocusRing(QPainter& painter, const QRectF& rect, double radius, const QPalette& palette,
                    QColor color) {
    QColor ring = color.isValid() ? color : accent(palette);
    ring.setAlphaF(0.6f);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ring, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
    painter.restore();
}

QFont font(double pixels, QFont::Weight weight, bool italic) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    font.setWeight(weight);
    font.setItalic(italic);
    return font;
}

} // namespace Theme

Appearance::Appearance(ColorScheme& scheme, QObject* parent)
    : QObject(parent)
    , m_scheme(scheme)
    , m_platformDark(Theme::isDark(QApplication::palette()))
    , m_dark(m_platformDark) {
    connect(&m_scheme, &ColorScheme::changed, this, &Appearance::follow);
    Theme::apply(m_dark);
    follow();
}

void Appearance::follow() {
    bool dark = m_platformDark;
    if (const auto preference = m_scheme.preference(); preference == ColorScheme::Preference::dark)
        dark = true;
    else if (preference == ColorScheme::Preference::light)
        dark = false;
    if (dark == m_dark)
        return;
    m_dark = dark;
    Theme::apply(m_dark);
    Q_EMIT changed(m_dark);
}

} // namespace tivela
