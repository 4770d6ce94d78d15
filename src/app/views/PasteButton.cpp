#include "app/views/PasteButton.h"

#include "app/AppModel.h"
#include "app/views/PopoverView.h"
#include "app/views/Symbols.h"
#include "app/views/Theme.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr double largePixels = 13;
constexpr double smallPixels = 12;
constexpr double symbolGap = 4;
constexpr int smallHorizontalPadding = 6;
constexpr int smallVerticalPadding = 3;

} // namespace

PasteButton::PasteButton(AppModel& model, QWidget* parent)
    : FilledButton(u"Paste"_s, u"doc.on.clipboard"_s, largePixels, parent)
    , m_model(model) {
    setObjectName(u"tivela.paste"_s);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, &m_model, &AppModel::pasteFromClipboard);
    connect(&m_model, &AppModel::inputChanged, this, &PasteButton::follow);
    connect(&m_model, &AppModel::clipboardHasTextChanged, this, &PasteButton::follow);
    follow();
}

void PasteButton::follow() {
    const bool large = m_model.input().isEmpty();
    if (large != m_large) {
        m_large = large;
        setFont(large ? Theme::font(largePixels, QFont::DemiBold) : Theme::font(smallPixels));
        updateGeometry();
    }
    const bool hasText = m_model.clipboardHasText();
    setEnabled(hasText);
    setToolTip(hasText ? u"Paste from the clipboard and translate"_s
                       : u"The clipboard has no text"_s);
    update();
}

QSize PasteButton::sizeHint() const {
    if (m_large)
        return FilledButton::sizeHint();
    const QFontMetricsF metrics(font());
    const double width = Symbols::side(smallPixels) + symbolGap + metrics.horizontalAdvance(text());
    return {int(std::ceil(width)) + 2 * smallHorizontalPadding,
            int(std::ceil(metrics.height())) + 2 * smallVerticalPadding};
}

QSize PasteButton::minimumSizeHint() const {
    return sizeHint();
}

void PasteButton::paintEvent(QPaintEvent* event) {
    if (m_large) {
        FilledButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QColor color = isEnabled() ? Theme::accent(palette()) : Theme::secondaryText(palette());
    if (isDown())
        color = color.darker(140);
    const QFontMetricsF metrics(font());
    const double side = Symbols::side(smallPixels);
    double x = smallHorizontalPadding;
    Symbols::paint(painter, QRectF(x, (height() - side) / 2, side, side), symbol(), color);
    x += side + symbolGap;
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

// The frame is told in the popover's coordinates; the button moves whenever one of the
// widgets between it and the popover moves.
void PasteButton::showEvent(QShowEvent* event) {
    FilledButton::showEvent(event);
    for (const QPointer<QWidget>& widget : std::as_const(m_watched))
        if (widget)
            widget->removeEventFilter(this);
    m_watched.clear();
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (ancestor->objectName() == PopoverView::space() || ancestor->isWindow())
            break;
        ancestor->installEventFilter(this);
        m_watched << ancestor;
    }
    reportFrame();
}

void PasteButton::moveEvent(QMoveEvent* event) {
    FilledButton::moveEvent(event);
    reportFrame();
}

void PasteButton::resizeEvent(QResizeEvent* event) {
    FilledButton::resizeEvent(event);
    reportFrame();
}

bool PasteButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        reportFrame();
    return FilledButton::eventFilter(watched, event);
}

void PasteButton::reportFrame() {
    QWidget* space = window();
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget())
        if (ancestor->objectName() == PopoverView::space()) {
            space = ancestor;
            break;
        }
    const QPoint origin = mapTo(space, QPoint(0, 0));
    m_model.setPasteButtonFrame(QRectF(origin, QSizeF(size())));
}

} // namespace tivela
