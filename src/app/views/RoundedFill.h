#pragma once

#include <QColor>
#include <QRect>

class QPainter;

namespace tivela {

// Fills a rectangle with round corners (a capsule when the radius is half its height) in one
// colour, smooth at the painter's whole-number device pixel ratio. The corners come from a circle
// drawn once per size and colour and the rest is plain fills: Qt hands an antialiased fill of
// many spans to its thread pool, which for the small shapes of a list or a card costs many times
// the drawing.
void fillRounded(QPainter& painter, const QRect& rect, double radius, const QColor& color);

} // namespace tivela
