#include "app/views/PopoverTips.h"

#include "app/views/Label.h"
#include "core/TextFit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QScreen>
#include <QStyle>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

// What Qt's own tip label measures for a text: its font, margin and indent, unwrapped.
QSize tipSize(const QString& text) {
    QLabel probe;
    probe.setFont(QToolTip::font());
    probe.setMargin(1 +
                    probe.style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, &probe));
    probe.setIndent(1);
    probe.setText(text);
    return probe.sizeHint();
}

} // namespace

PopoverTips::PopoverTips(QWidget* view)
    : QObject(view)
    , m_view(view) {
    qApp->installEventFilter(this);
}

QPoint PopoverTips::place(QSize tip, QPoint cursor, const QRect& window, const QRect& screen) {
    constexpr int below = 20;
    constexpr int above = 4;
    const int left = std::max(window.left(), screen.left());
    const int right = std::min(window.right(), screen.right()) + 1;
    int x = std::clamp(cursor.x(), left + margin,
                       std::max(left + margin, right - margin - tip.width()));
    x = std::clamp(x, screen.left(), std::max(screen.left(), screen.right() + 1 - tip.width()));
    int y = cursor.y() + below;
    if (y + tip.height() > screen.bottom() + 1)
        y = cursor.y() - above - tip.height();
    y = std::clamp(y, screen.top(), std::max(screen.top(), screen.bottom() + 1 - tip.height()));
    return {x, y};
}

QString PopoverTips::wrap(const QString& text, const QFont& font, int width) {
    const QList<qsizetype> ends = TextMeasure::lineEnds(text, font, std::max(1, width), -1);
    QStringList lines;
    qsizetype start = 0;
    for (const qsizetype end : ends) {
        lines << text.mid(start, end - start).trimmed();
        start = end;
    }
    return lines.isEmpty() ? text : lines.join(u'\n');
}

// Qt moves a tip it already shows when the text changes: resized and moved while on screen, it
// can show a frame of its unpainted new area, black. A new text gets a new tip instead, made at
// its size and put in its place before it shows.
bool PopoverTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != m_view->window() || widget->toolTip().isEmpty())
        return QObject::eventFilter(watched, event);
    const QString tip = widget->toolTip();
    const QString plain =
        Qt::mightBeRichText(tip) ? QTextDocumentFragment::fromHtml(tip).toPlainText() : tip;
    const QRect window = m_view->window()->frameGeometry();
    const QScreen* screen = widget->screen();
    const QRect area = screen ? screen->availableGeometry() : window;
    const QFontMetrics metrics(QToolTip::font());
    const int padding = tipSize(u"M"_s).width() - metrics.horizontalAdvance(u"M"_s);
    const int room = std::min(window.width(), area.width()) - 2 * margin - padding;
    const QString shown = plainToolTip(wrap(plain, QToolTip::font(), room));
    const QPoint cursor = static_cast<QHelpEvent*>(event)->globalPos();
    const QPoint at = place(tipSize(shown), cursor, window, area);

    QWidget* label = tipLabel();
    if (label && label->isVisible() && QToolTip::text() != shown)
        label->hide();
    QToolTip::showText(at - m_offset, shown, widget, widget->rect());
    // Qt sets a tip off from the point it is given, by the cursor's size; learnt once.
    if ((label = tipLabel()) && label->isVisible() && label->pos() != at) {
        m_offset += label->pos() - at;
        label->move(at);
    }
    return true;
}

QWidget* PopoverTips::tipLabel() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == u"qtooltip_label")
            return widget;
    return nullptr;
}

} // namespace tivela
