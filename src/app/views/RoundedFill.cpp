#include "app/views/RoundedFill.h"

#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tivela {
namespace {

// Main thread only, like all painting of widgets; a handful of sizes and colours.
const QImage& circle(int diameter, const QColor& color) {
    static QHash<std::pair<int, QRgb>, QImage> circles;
    const auto key = std::pair(diameter, color.rgba());
    if (const auto it = circles.constFind(key); it != circles.cend())
        return *it;
    QImage image(diameter, diameter, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter draw(&image);
    draw.setRenderHint(QPainter::Antialiasing);
    draw.setPen(Qt::NoPen);
    draw.setBrush(color);
    draw.drawEllipse(QRectF(0, 0, diameter, diameter));
    draw.end();
    return *circles.insert(key, image);
}

} // namespace

void fillRounded(QPainter& painter, const QRect& rect, double radius, const QColor& color) {
    if (rect.isEmpty())
        return;
    const int ratio = std::max(1, int(std::lround(painter.device()->devicePixelRatioF())));
    // Everything in device pixels, so no image is scaled; an odd middle row or column of the
    // circle is left to the fills.
    const int width = rect.width() * ratio;
    const int height = rect.height() * ratio;
    const int diameter = std::min({int(std::lround(2 * radius * ratio)), width, height});
    const int corner = diameter / 2;
    const QImage& round = circle(std::max(diameter, 1), color);
    const double unit = 1.0 / ratio;
    const auto area = [&](int x, int y, int w, int h) {
        return QRectF(rect.left() + x * unit, rect.top() + y * unit, w * unit, h * unit);
    };
    const auto quarter = [&](int x, int y) { return QRectF(x, y, corner, corner); };
    const int far = diameter - corner;
    if (corner > 0) {
        painter.drawImage(area(0, 0, corner, corner), round, quarter(0, 0));
        painter.drawImage(area(width - corner, 0, corner, corner), round, quarter(far, 0));
        painter.drawImage(area(0, height - corner, corner, corner), round, quarter(0, far));
        painter.drawImage(area(width - corner, height - corner, corner, corner), round,
                          quarter(far, far));
        painter.fillRect(area(corner, 0, width - 2 * corner, corner), color);
        painter.fillRect(area(corner, height - corner, width - 2 * corner, corner), color);
    }
    painter.fillRect(area(0, corner, width, height - 2 * corner), color);
}

} // namespace tivela
