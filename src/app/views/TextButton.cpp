#include "app/views/TextButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace tivela {

TextButton::TextButton(const QString& text, double pixels, QWidget* parent)
    : QAbstractButton(parent) {
    setText(text);
    setAccessibleName(text);
    setFont(Theme::font(pixels));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

void TextButton::setTone(Theme::Tone tone) {
    m_tone = tone;
    update();
}

void TextButton::setPixelSize(double pixels) {
    setFont(Theme::font(pixels, font().weight()));
    updateGeometry();
}

QSize TextButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    return {int(std::ceil(metrics.horizontalAdvance(text()))) + 4,
            int(std::ceil(metrics.height())) + 2};
}

void TextButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor color = Theme::color(m_tone, palette());
    if (!isEnabled())
        color.setAlphaF(color.alphaF() * 0.45f);
    else if (isDown())
        color = color.darker(140);
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter,
                     QFontMetricsF(font()).elidedText(text(), Qt::ElideRight, width()));
    if (hasFocus())
        Theme::paintFocusRing(painter, rect(), 4, palette());
}

} // namespace tivela
