#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>

class QWidget;

namespace tivela {

// The pictures of the render modes: a view on a rounded card with a soft shadow, on the
// theme's screenshot gradient, at two pixels per point, written as 8-bit RGBA PNG; and the
// tray glyph as a TIFF of its three densities.
namespace ShotFile {

constexpr int margin = 36;
constexpr double radius = 14;
constexpr double scale = 2;
constexpr double shadowOpacity = 0.28;
constexpr double shadowBlur = 24;
constexpr double shadowDrop = 10;

// The picture of a shown view that is card.width() x card.height() points: (w + 72) x (h + 72)
// points, twice as many pixels. The view is drawn as it stands, in its own palette.
QImage draw(QWidget& view, QSize card, bool dark);
// Writes "<name>.png" into the folder, replacing a file of that name only once the new one is
// complete. False, with the reason on stderr, when encoding or writing fails.
bool writePng(const QImage& image, const QString& folder, const QString& name);
// The icon's 1x, 2x and 3x images of 18 points, one TIFF page each in that order, 8-bit RGBA
// with unassociated alpha at 72 dpi times the density. Nothing is written for an icon without
// images; false, with the reason on stderr, when writing fails.
bool writeGlyph(const QIcon& icon, const QString& path);

} // namespace ShotFile

} // namespace tivela
