#include "app/checks/ShotFile.h"

#include "app/BrandArt.h"
#include "app/views/Theme.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSaveFile>
#include <QWidget>

#include <tiffio.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

namespace tivela::ShotFile {
namespace {

QPainterPath rounded(const QRectF& rect, double cornerRadius) {
    QPainterPath path;
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    return path;
}

// The widths of three box blurs whose sum approximates a Gaussian of this deviation.
std::array<int, 3> boxWidths(double sigma) {
    const int passes = 3;
    int lower = int(std::floor(std::sqrt(12 * sigma * sigma / passes + 1)));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double ideal =
        (12 * sigma * sigma - passes * lower * lower - 4 * passes * lower - 3 * passes) /
        (-4.0 * lower - 4);
    const int lowerCount = int(std::lround(ideal));
    std::array<int, 3> widths{};
    for (int i = 0; i < passes; ++i)
        widths[size_t(i)] = i < lowerCount ? lower : upper;
    return widths;
}

// One box blur along rows (step 1) or columns (step width) of an alpha plane, outside taken
// as transparent.
void boxPass(const std::vector<quint8>& from, std::vector<quint8>& to, int width, int height,
             int radius, bool rows) {
    const int lines = rows ? height : width;
    const int length = rows ? width : height;
    const int step = rows ? 1 : width;
    const int span = 2 * radius + 1;
    for (int line = 0; line < lines; ++line) {
        const size_t start = rows ? size_t(line) * size_t(width) : size_t(line);
        int sum = 0;
        for (int i = 0; i < std::min(radius, length); ++i)
            sum += from[start + size_t(i) * size_t(step)];
        for (int i = 0; i < length; ++i) {
            if (i + radius < length)
                sum += from[start + size_t(i + radius) * size_t(step)];
            if (i - radius - 1 >= 0)
                sum -= from[start + size_t(i - radius - 1) * size_t(step)];
            to[start + size_t(i) * size_t(step)] = quint8((sum + span / 2) / span);
        }
    }
}

// The card's shadow before its drop: the card's shape blurred, in black at the shadow's
// opacity, with room for the blur on every side (`pad` points). It depends only on the card's
// size, so each size is blurred once per process.
struct Shadow {
    QImage image;
    int pad = 0;
};

const Shadow& shadowFor(QSize card) {
    static QHash<QSize, Shadow> made;
    if (const auto found = made.constFind(card); found != made.cend())
        return *found;
    const std::array<int, 3> widths = boxWidths(shadowBlur / 2 * scale);
    int reach = 0;
    for (const int width : widths)
        reach += width / 2;
    Shadow shadow;
    shadow.pad = int(std::ceil(reach / scale));
    const QSize points = card + QSize(2 * shadow.pad, 2 * shadow.pad);
    const int width = int(points.width() * scale);
    const int height = int(points.height() * scale);

    QImage shape(width, height, QImage::Format_Alpha8);
    shape.fill(0);
    {
        QPainter painter(&shape);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        painter.fillPath(rounded(QRectF(QPointF(shadow.pad, shadow.pad), card), radius), Qt::black);
    }
    std::vector<quint8> plane(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        std::copy_n(shape.constScanLine(y), width, plane.begin() + std::ptrdiff_t(y) * width);
    std::vector<quint8> other(plane.size());
    for (const bool rows : {true, false})
        for (const int boxWidth : widths) {
            boxPass(plane, other, width, height, boxWidth / 2, rows);
            plane.swap(other);
        }

    shadow.image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(shadow.image.scanLine(y));
        const quint8* alpha = plane.data() + std::ptrdiff_t(y) * width;
        for (int x = 0; x < width; ++x)
            line[x] = qRgba(0, 0, 0, int(std::lround(alpha[x] * shadowOpacity)));
    }
    shadow.image.setDevicePixelRatio(scale);
    return *made.insert(card, shadow);
}

// The view on its card: the window colour, the view, the rounded corners cut out and the
// hairline border on top.
QImage cardLayer(QWidget& view, QSize size) {
    QImage layer(int(size.width() * scale), int(size.height() * scale),
                 QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(scale);
    const QPalette& palette = view.palette();
    layer.fill(palette.color(QPalette::Window));
    {
        QPainter painter(&layer);
        view.render(&painter);
    }
    // A painter of its own: the view's drawing leaves its state behind.
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::Antialiasing);
    // The corners are cut by a mask over the whole layer: a shape drawn in a composition mode
    // reaches only the pixels it covers.
    QImage mask(layer.size(), QImage::Format_ARGB32_Premultiplied);
    mask.setDevicePixelRatio(scale);
    mask.fill(Qt::transparent);
    {
        QPainter shape(&mask);
        shape.setRenderHint(QPainter::Antialiasing);
        shape.fillPath(rounded(QRectF(QPointF(0, 0), size), radius), Qt::black);
    }
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(QPointF(0, 0), mask);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QColor border = palette.color(QPalette::WindowText);
    border.setAlphaF(0.12f);
    painter.setPen(QPen(border, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(rounded(QRectF(QPointF(0.5, 0.5), QSizeF(size) - QSizeF(1, 1)), radius - 0.5));
    return layer;
}

bool writeTiff(const QList<QImage>& pages, const QString& path) {
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return false;
    bool written = true;
    for (const QImage& page : pages) {
        const auto density = float(page.width()) / float(BrandArt::side);
        const quint16 extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, quint32(page.width()));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, quint32(page.height()));
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, quint16(8));
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, quint16(4));
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, quint16(1), extra);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, quint16(PHOTOMETRIC_RGB));
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, quint16(PLANARCONFIG_CONTIG));
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, quint16(COMPRESSION_NONE));
        TIFFSetField(tiff, TIFFTAG_ORIENTATION, quint16(ORIENTATION_TOPLEFT));
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, quint32(page.height()));
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, quint16(RESUNIT_INCH));
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 72.0f * density);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 72.0f * density);
        for (int y = 0; y < page.height() && written; ++y) {
            QByteArray line(reinterpret_cast<const char*>(page.constScanLine(y)),
                            qsizetype(page.width()) * 4);
            written = TIFFWriteScanline(tiff, line.data(), quint32(y), 0) == 1;
        }
        written = written && TIFFWriteDirectory(tiff) == 1;
    }
    TIFFClose(tiff);
    return written;
}

} // namespace

QImage draw(QWidget& view, QSize card, bool dark) {
    const QSize points = card + QSize(2 * margin, 2 * margin);
    QImage image(int(points.width() * scale), int(points.height() * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    const QList<QColor> ground = Theme::screenshotGround(dark);
    QLinearGradient gradient(QPointF(0, 0), QPointF(points.width(), points.height()));
    gradient.setColorAt(0, ground.value(0));
    gradient.setColorAt(1, ground.value(1));
    painter.fillRect(QRectF(QPointF(0, 0), points), gradient);
    const Shadow& shadow = shadowFor(card);
    painter.drawImage(QPointF(margin - shadow.pad, margin - shadow.pad + shadowDrop), shadow.image);
    painter.drawImage(QPointF(margin, margin), cardLayer(view, card));
    return image;
}

bool writePng(const QImage& image, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name + u".png"_s);
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    // Straight alpha, four samples: an opaque format would be written without alpha.
    const bool written = file.open(QIODevice::WriteOnly) &&
                         writer.write(image.convertToFormat(QImage::Format_ARGB32)) &&
                         file.commit();
    if (!written)
        std::fprintf(stderr, "tivela: %s not written: %s\n", qPrintable(path),
                     qPrintable(file.error() != QFileDevice::NoError ? file.errorString()
                                                                     : writer.errorString()));
    return written;
}

bool writeGlyph(const QIcon& icon, const QString& path) {
    if (icon.availableSizes().isEmpty())
        return true;
    QList<QImage> pages;
    for (int density = 1; density <= 3; ++density) {
        const QSize pixels(BrandArt::side * density, BrandArt::side * density);
        QImage page = icon.pixmap(QSize(BrandArt::side, BrandArt::side), density).toImage();
        if (page.isNull())
            continue;
        if (page.size() != pixels)
            page = page.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        pages << page.convertToFormat(QImage::Format_RGBA8888);
    }
    if (pages.isEmpty())
        return true;
    // Written beside the old file and put in its place only once complete.
    const QString part = path + u".part"_s;
    const bool written =
        writeTiff(pages, part) &&
        std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0;
    if (!written) {
        QFile::remove(part);
        std::fprintf(stderr, "tivela: %s not written\n", qPrintable(path));
    }
    return written;
}

} // namespace tivela::ShotFile
