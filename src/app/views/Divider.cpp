#include "app/views/Divider.h"

#include "app/views/Theme.h"

#include <QPainter>

namespace tivela {

Divider::Divider(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent)
    , m_orientation(orientation) {
    if (orientation == Qt::Horizontal)
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    else
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

QSize Divider::sizeHint() const {
    return m_orientation == Qt::Horizontal ? QSize(1, 1) : QSize(1, 1);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor line = palette().color(QPalette::WindowText);
    line.setAlphaF(Theme::isDark(palette()) ? 0.16f : 0.11f);
    painter.fillRect(rect(), line);
}

} // namespace tivela
