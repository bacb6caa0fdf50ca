#include "app/ui/WindowShape.h"

QRegion ShapeFromBitmap(const QImage& bitmap, const QRect& rect)
{
    QRegion shape(rect);
    const QImage pixels = bitmap.convertToFormat(QImage::Format_RGB32);
    const int rows = std::min(kShapeRows, pixels.height());
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < pixels.width();) {
            if (pixels.pixel(x, y) != kShapeHoleColour) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < pixels.width() && pixels.pixel(x, y) == kShapeHoleColour)
                ++x;
            shape = shape.xored(QRegion(start, y, x - start, 1));
        }
    }
    return shape;
}
