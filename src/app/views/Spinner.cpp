#include "app/views/Spinner.h"

#include "app/views/Theme.h"

#include <QPainter>
#include <QTimerEvent>

#include <cmath>

namespace tivela {
namespace {

constexpr int spokes = 8;
constexpr int frameMilliseconds = 100;

} // namespace

Spinner::Spinner(int diameter, QWidget* parent)
    : QWidget(parent)
    , m_diameter(diameter) {
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize Spinner::sizeHint() const {
    return {m_diameter, m_diameter};
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const double outer = m_diameter / 2.0;
    const double inner = outer * 0.45;
    const double width = std::max(1.2, m_diameter / 9.0);
    const QColor base = Theme::secondaryText(palette());
    for (int i = 0; i < spokes; ++i) {
        // The spoke at the current step is the darkest; the others fade behind it.
        const int age = (m_step - i + spokes) % spokes;
        QColor color = base;
        color.setAlphaF(float(base.alphaF() * (1.0 - 0.8 * age / double(spokes))));
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
        const double angle = 2 * M_PI * i / spokes - M_PI / 2;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(centre + direction * inner, centre + direction * (outer - width / 2));
    }
}

void Spinner::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_timer)
        m_timer = startTimer(frameMilliseconds);
}

void Spinner::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (m_timer)
        killTimer(std::exchange(m_timer, 0));
}

void Spinner::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer)
        return QWidget::timerEvent(event);
    m_step = (m_step + 1) % spokes;
    update();
}

} // namespace tivela
