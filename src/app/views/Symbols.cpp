#include "app/views/Symbols.h"

#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace tivela::Symbols {
namespace {

QString path(const QString& name) {
    return u":/symbols/"_s + name + u".svg"_s;
}

// Renderers and drawn masks live for the process, on the main thread.
QSvgRenderer* renderer(const QString& name) {
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    if (const auto it = renderers.constFind(name); it != renderers.cend())
        return it->get();
    std::shared_ptr<QSvgRenderer> loaded;
    if (QFile::exists(path(name))) {
        loaded = std::make_shared<QSvgRenderer>(path(name));
        if (!loaded->isValid())
            loaded.reset();
    }
    renderers.insert(name, loaded);
    return loaded.get();
}

// The drawing in black at a size in device pixels; only its alpha counts.
QImage mask(const QString& name, int devicePixels) {
    static QHash<QString, QImage> masks;
    const QString key = name + u'@' + QString::number(devicePixels);
    if (const auto it = masks.constFind(key); it != masks.cend())
        return *it;
    QImage image;
    if (QSvgRenderer* svg = renderer(name)) {
        image = QImage(devicePixels, devicePixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg->render(&painter, QRectF(0, 0, devicePixels, devicePixels));
    }
    masks.insert(key, image);
    return image;
}

class SymbolIconEngine : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor color)
        : m_name(std::move(name))
        , m_color(std::move(color)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        QColor color = m_color;
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4f);
        Symbols::paint(*painter, rect, m_name, color);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        QColor color = m_color;
        if (mode == QIcon::Disabled)
            color.setAlphaF(color.alphaF() * 0.4f);
        return Symbols::pixmap(m_name, std::min(size.width(), size.height()), color, scale);
    }
    QIconEngine* clone() const override { return new SymbolIconEngine(m_name, m_color); }
    QString key() const override { return u"tivela-symbol"_s; }

private:
    QString m_name;
    QColor m_color;
};

} // namespace

double side(double fontPixels) {
    return std::round(fontPixels * 1.25);
}

bool exists(const QString& name) {
    return renderer(name) != nullptr;
}

QPixmap pixmap(const QString& name, double pixels, const QColor& color, double ratio) {
    const int devicePixels = std::max(1, int(std::lround(pixels * ratio)));
    QImage image = mask(name, devicePixels);
    if (image.isNull())
        return {};
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    }
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(ratio);
    return result;
}

void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color) {
    const double pixels = std::min(rect.width(), rect.height());
    if (pixels <= 0)
        return;
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap image = pixmap(name, pixels, color, ratio);
    if (image.isNull())
        return;
    // Whole device pixels, so the drawing stays sharp.
    const QPointF corner(rect.center().x() - pixels / 2, rect.center().y() - pixels / 2);
    const QPointF snapped(std::round(corner.x() * ratio) / ratio,
                          std::round(corner.y() * ratio) / ratio);
    painter.drawPixmap(snapped, image);
}

QIcon icon(const QString& name, const QColor& color) {
    return QIcon(new SymbolIconEngine(name, color));
}

} // namespace tivela::Symbols

namespace tivela {

SymbolView::SymbolView(const QString& symbol, double fontPixels, Theme::Tone tone, QWidget* parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_side(Symbols::side(fontPixels))
    , m_tone(tone) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setSymbol(const QString& symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    update();
}

QSize SymbolView::sizeHint() const {
    const int side = int(std::ceil(m_side));
    return {side, side};
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Symbols::paint(painter, rect(), m_symbol, Theme::color(m_tone, palette()));
}

} // namespace tivela
