#include "app/views/Label.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace tivela {

Label::Label(const QString& text, double pixels, QFont::Weight weight, Theme::Tone tone,
             QWidget* parent)
    : QLabel(parent)
    , m_tone(tone) {
    setTextFormat(Qt::PlainText);
    setFont(Theme::font(pixels, weight));
    setText(text);
    recolor();
}

void Label::setTone(Theme::Tone tone) {
    if (tone == m_tone)
        return;
    m_tone = tone;
    recolor();
}

void Label::setPixelSize(double pixels) {
    QFont changed = font();
    changed.setPixelSize(std::max(1, int(std::lround(pixels))));
    if (changed != font())
        setFont(changed);
}

void Label::setElided(bool elided) {
    if (elided == m_elided)
        return;
    m_elided = elided;
    if (elided)
        setWordWrap(false);
    updateGeometry();
    update();
}

QSize Label::minimumSizeHint() const {
    QSize least = QLabel::minimumSizeHint();
    if (m_elided) {
        const QMargins margins = contentsMargins();
        const int ellipsis = fontMetrics().horizontalAdvance(QStringLiteral("\u2026"));
        least.setWidth(std::min(least.width(), ellipsis + margins.left() + margins.right()));
    }
    return least;
}

void Label::paintEvent(QPaintEvent* event) {
    const QRect room = contentsRect();
    if (!m_elided || fontMetrics().horizontalAdvance(text()) <= room.width())
        return QLabel::paintEvent(event);
    QPainter painter(this);
    style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(text(), Qt::ElideRight, room.width()),
                          foregroundRole());
}

void Label::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) &&
        !m_recoloring)
        recolor();
}

// Only the text colour is set here, from the parent's palette; the rest of the palette, the
// window colour that tells light from dark included, still comes from the parent.
void Label::recolor() {
    m_recoloring = true;
    const QPalette source = parentWidget() ? parentWidget()->palette() : QGuiApplication::palette();
    QPalette changed = palette();
    const QColor color = Theme::color(m_tone, source);
    QColor disabled = color;
    disabled.setAlphaF(color.alphaF() * 0.45f);
    changed.setColor(QPalette::Active, QPalette::WindowText, color);
    changed.setColor(QPalette::Inactive, QPalette::WindowText, color);
    changed.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
    setPalette(changed);
    m_recoloring = false;
}

QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace tivela
