// The product name as drawn strokes, so no font decides its shape.
#pragma once

#include <QPainterPath>
#include <QPointF>

namespace look {

// Centre lines of the letters; stroke them. origin is the left end of the
// baseline, xHeight the height of the small letters; returns the width.
QPainterPath WordmarkPath(const QPointF& origin, qreal xHeight, qreal* width = nullptr);

}  // namespace look
