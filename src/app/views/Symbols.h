#pragma once

#include "app/views/Theme.h"

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;

namespace tivela {

// Our own symbol images, black line drawings on a 24-unit grid (resources/symbols/NAME.svg,
// named as the views' texts name them: "star.fill", "speaker.wave.2"), tinted with the
// colour they are painted in. A name without a drawing paints nothing.
namespace Symbols {

// The square, in device-independent pixels, of a symbol shown beside text of a font size.
double side(double fontPixels);

bool exists(const QString& name);
// The symbol in a colour, `pixels` square, for a device pixel ratio; null for an unknown name.
QPixmap pixmap(const QString& name, double pixels, const QColor& color, double ratio);
// Paints the symbol centred in a rectangle, as large as its smaller side, at the painter's
// device pixel ratio.
void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color);
// An icon of the symbol in one colour, for menus and buttons that take icons.
QIcon icon(const QString& name, const QColor& color);

} // namespace Symbols

// A symbol on its own, the size it has beside text of a font size, in a tone of the palette.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(const QString& symbol, double fontPixels, Theme::Tone tone,
               QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    double m_side;
    Theme::Tone m_tone;
};

} // namespace tivela
