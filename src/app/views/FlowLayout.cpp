#include "app/views/FlowLayout.h"

#include <QWidget>

#include <algorithm>

namespace tivela {

FlowLayout::FlowLayout(int spacing, QWidget* parent)
    : QLayout(parent)
    , m_spacing(spacing) {
    // The style's margins otherwise.
    setContentsMargins(0, 0, 0, 0);
}

FlowLayout::~FlowLayout() {
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
    invalidate();
}

int FlowLayout::count() const {
    return int(m_items.size());
}

QLayoutItem* FlowLayout::itemAt(int index) const {
    return m_items.value(index);
}

QLayoutItem* FlowLayout::takeAt(int index) {
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

int FlowLayout::spacing() const {
    return m_spacing;
}

void FlowLayout::setSpacing(int spacing) {
    m_spacing = spacing;
    invalidate();
}

Qt::Orientations FlowLayout::expandingDirections() const {
    return {};
}

bool FlowLayout::hasHeightForWidth() const {
    return true;
}

int FlowLayout::heightForWidth(int width) const {
    const QMargins margins = contentsMargins();
    return arrange(QRect(0, 0, width - margins.left() - margins.right(), 0), false) +
           margins.top() + margins.bottom();
}

QSize FlowLayout::sizeHint() const {
    return {idealWidth, heightForWidth(idealWidth)};
}

// Any width will do: a wide item overflows rather than widening what holds the layout.
QSize FlowLayout::minimumSize() const {
    const QMargins margins = contentsMargins();
    return {margins.left() + margins.right(), margins.top() + margins.bottom()};
}

void FlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect.marginsRemoved(contentsMargins()), true);
}

// Wrapping compares the item's end with the rectangle's end, left + width: QRect::right() is
// one pixel short of it.
int FlowLayout::arrange(const QRect& rect, bool place) const {
    const int left = rect.x();
    const int end = rect.x() + rect.width();
    int x = left;
    int y = rect.y();
    int lineHeight = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty())
            continue;
        const QSize size = item->sizeHint();
        if (x > left && x + size.width() > end) {
            x = left;
            y += lineHeight + m_spacing;
            lineHeight = 0;
        }
        if (place)
            item->setGeometry(QRect(QPoint(x, y), size));
        x += size.width() + m_spacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    return y + lineHeight - rect.y();
}

} // namespace tivela
