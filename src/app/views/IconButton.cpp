#include "app/views/IconButton.h"

#include "app/views/Label.h"
#include "app/views/Symbols.h"
#include "app/views/Theme.h"

#include <QPainter>

namespace tivela {

IconButton::IconButton(const QString& symbol, const QString& help, bool active, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_active(active) {
    setFixedSize(sidePixels, sidePixels);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
    setHelp(help);
}

void IconButton::setSymbol(const QString& symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

void IconButton::setHelp(const QString& help) {
    m_help = help;
    setToolTip(plainToolTip(help));
    setAccessibleName(help);
}

void IconButton::setActive(bool active) {
    if (active == m_active)
        return;
    m_active = active;
    update();
}

QColor IconButton::symbolColor() const {
    QColor color = m_active ? Theme::accent(palette()) : Theme::secondaryText(palette());
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.45f);
    else if (isDown())
        color = color.darker(140);
    return color;
}

QSize IconButton::sizeHint() const {
    return {sidePixels, sidePixels};
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const double side = Symbols::side(symbolFontPixels);
    const QRectF square((width() - side) / 2, (height() - side) / 2, side, side);
    Symbols::paint(painter, square, m_symbol, symbolColor());
    if (hasFocus())
        Theme::paintFocusRing(painter, rect(), 5, palette());
}

bool IconButton::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

} // namespace tivela
