#include "app/views/ViewStyle.h"

#include "app/views/Symbols.h"
#include "app/views/Theme.h"

#include <QComboBox>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// The handle's and the track's ink: the text colour, faint for the track, firmer for the
// handle, and firmer still while the pointer is on it or drags it.
QColor ink(const QPalette& palette, double alpha) {
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

ViewStyle::ViewStyle()
    : QProxyStyle(QStyleFactory::create(u"Fusion"_s)) {
}

int ViewStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                           const QWidget* widget) const {
    switch (metric) {
    case PM_ScrollBarExtent:
        return scrollBarExtent;
    case PM_ScrollBarSliderMin:
        return handleLeast;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int ViewStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                         QStyleHintReturn* returnData) const {
    switch (hint) {
    case SH_Menu_Scrollable:
        return 1;
    case SH_ScrollBar_Transient:
        return 0;
    default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

// The whole bar is the groove: no arrow buttons at either end.
QRect ViewStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                SubControl subControl, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar)
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    const QRect whole = bar->rect;
    const bool horizontal = bar->orientation == Qt::Horizontal;
    const int length = horizontal ? whole.width() : whole.height();
    const qint64 range = qint64(bar->maximum) - bar->minimum;
    int handle = length;
    if (range > 0)
        handle = int(std::clamp<qint64>(qint64(length) * bar->pageStep / (range + bar->pageStep),
                                        std::min(handleLeast, length), length));
    const int start = sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition,
                                              length - handle, bar->upsideDown);
    const auto span = [&](int from, int size) {
        return horizontal ? QRect(whole.left() + from, whole.top(), size, whole.height())
                          : QRect(whole.left(), whole.top() + from, whole.width(), size);
    };
    QRect rect;
    switch (subControl) {
    case SC_ScrollBarGroove:
        rect = whole;
        break;
    case SC_ScrollBarSlider:
        rect = span(start, handle);
        break;
    case SC_ScrollBarSubPage:
        rect = span(0, start);
        break;
    case SC_ScrollBarAddPage:
        rect = span(start + handle, length - start - handle);
        break;
    default:
        return {};
    }
    return visualRect(bar->direction, whole, rect);
}

void ViewStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                   QPainter* painter, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar)
        return QProxyStyle::drawComplexControl(control, option, painter, widget);
    const bool dark = Theme::isDark(bar->palette);
    const bool horizontal = bar->orientation == Qt::Horizontal;
    const auto inset = [&](QRect rect) {
        return horizontal ? rect.adjusted(0, scrollBarInset, 0, -scrollBarInset)
                          : rect.adjusted(scrollBarInset, 0, -scrollBarInset, 0);
    };
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    const QRectF track = inset(subControlRect(control, option, SC_ScrollBarGroove, widget));
    const double radius = (horizontal ? track.height() : track.width()) / 2;
    painter->setBrush(ink(bar->palette, dark ? 0.10 : 0.06));
    painter->drawRoundedRect(track, radius, radius);
    if (bar->maximum > bar->minimum && (bar->state & State_Enabled)) {
        const bool onHandle = bar->activeSubControls & SC_ScrollBarSlider;
        double alpha = dark ? 0.40 : 0.34;
        if (onHandle && (bar->state & State_Sunken))
            alpha += 0.24;
        else if (onHandle && (bar->state & State_MouseOver))
            alpha += 0.14;
        painter->setBrush(ink(bar->palette, alpha));
        painter->drawRoundedRect(
            QRectF(inset(subControlRect(control, option, SC_ScrollBarSlider, widget))), radius,
            radius);
    }
    painter->restore();
}

// In a menu or a picker's list only the chosen entry carries a mark, a check without a box.
void ViewStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                              QPainter* painter, const QWidget* widget) const {
    const bool inList =
        qobject_cast<const QMenu*>(widget) || qobject_cast<const QComboBox*>(widget);
    if (element != PE_IndicatorCheckBox || !inList)
        return QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (!(option->state & State_On))
        return;
    const QColor color = option->palette.color(
        option->state & State_Selected ? QPalette::HighlightedText : QPalette::Text);
    Symbols::paint(*painter, QRectF(option->rect).adjusted(1, 1, -1, -1), u"checkmark"_s, color);
}

} // namespace tivela

namespace tivela {

// A picker's list has no column for a check mark of its own: it gets one, and the chosen
// entry's mark in it.
void ViewStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element != CE_MenuItem || !item || !qobject_cast<const QComboBox*>(widget) ||
        item->menuItemType == QStyleOptionMenuItem::Separator)
        return QProxyStyle::drawControl(element, option, painter, widget);
    const QRect column =
        visualRect(item->direction, item->rect,
                   QRect(item->rect.left(), item->rect.top(), checkColumn, item->rect.height()));
    QStyleOptionMenuItem entry = *item;
    entry.rect = visualRect(item->direction, item->rect, item->rect.adjusted(checkColumn, 0, 0, 0));
    if (item->state & State_Selected) {
        QStyleOptionMenuItem bar = *item;
        bar.text.clear();
        QProxyStyle::drawControl(element, &bar, painter, widget);
    }
    QProxyStyle::drawControl(element, &entry, painter, widget);
    if (item->checked) {
        const QColor color = item->palette.color(
            item->state & State_Selected ? QPalette::HighlightedText : QPalette::Text);
        const int side = std::min(column.width(), column.height()) - 6;
        Symbols::paint(*painter,
                       QRectF(column.center().x() - side / 2.0 + 2,
                              column.center().y() - side / 2.0 + 1, side, side),
                       u"checkmark"_s, color);
    }
}

QSize ViewStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                  const QWidget* widget) const {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    if (type == CT_MenuItem && qobject_cast<const QComboBox*>(widget))
        result.rwidth() += checkColumn;
    return result;
}

} // namespace tivela
