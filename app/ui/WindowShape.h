// Skinned windows are cut to shape: in the top rows of the window's bitmap,
// pixels of the marker colour become holes.
#pragma once

#include <QImage>
#include <QRegion>

inline constexpr QRgb kShapeHoleColour = qRgb(230, 44, 44);
inline constexpr int kShapeRows = 28;

// The rectangle less every marker run of the top rows.
QRegion ShapeFromBitmap(const QImage& bitmap, const QRect& rect);
