#include "app/views/FilledButton.h"

#include "app/views/Symbols.h"
#include "app/views/Theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tivela {
namespace {

constexpr double symbolGap = 5;

} // namespace

FilledButton::FilledButton(const QString& text, const QString& symbol, double fontPixels,
                           QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol) {
    setText(text);
    setAccessibleName(text);
    setFont(Theme::font(fontPixels, QFont::DemiBold));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // As every other button: the keyboard reaches it by Tab, a click leaves the focus alone.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
}

QColor FilledButton::fillColor() const {
    return isDown() ? Theme::accentFillStrong(palette()) : Theme::accentFill(palette());
}

QSize FilledButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    double width = metrics.horizontalAdvance(text());
    if (!m_symbol.isEmpty())
        width += Symbols::side(font().pixelSize()) + symbolGap;
    const double height = std::max(metrics.height(), double(font().pixelSize()) * 1.25);
    return {int(std::ceil(width)) + 2 * horizontalPadding,
            int(std::ceil(height)) + 2 * verticalPadding};
}

QSize FilledButton::minimumSizeHint() const {
    return {2 * cornerRadius, sizeHint().height()};
}

void FilledButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(disabledOpacity);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, fillColor());

    // The symbol and the text, centred together.
    const QFontMetricsF metrics(font());
    const double textWidth = metrics.horizontalAdvance(text());
    const double side = m_symbol.isEmpty() ? 0 : Symbols::side(font().pixelSize());
    const double contentWidth = textWidth + (side > 0 ? side + symbolGap : 0);
    double x = std::max(double(horizontalPadding), (width() - contentWidth) / 2);
    if (side > 0) {
        Symbols::paint(painter, QRectF(x, (height() - side) / 2, side, side), m_symbol, Qt::white);
        x += side + symbolGap;
    }
    painter.setPen(Qt::white);
    painter.setFont(font());
    const QRectF textRect(x, 0, width() - x - horizontalPadding / 2.0, height());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                     metrics.elidedText(text(), Qt::ElideRight, textRect.width()));
    if (hasFocus())
        Theme::paintFocusRing(painter, QRectF(rect()).adjusted(1, 1, -1, -1), cornerRadius - 1,
                              palette(), Qt::white);
}

} // namespace tivela
