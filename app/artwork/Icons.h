// Message icons, the application icon and the small glyphs on buttons.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>

namespace look {

QImage ErrorIcon();    // 46x46
QImage WarningIcon();  // 46x46
QImage AppIcon(int size);

// Glyphs fill the box they are given, in one colour.
void DrawDiskGlyph(QPainter& p, const QRectF& box, const QColor& color);
void DrawFirmwareGlyph(QPainter& p, const QRectF& box, const QColor& color);
void DrawSearchGlyph(QPainter& p, const QRectF& box, const QColor& color);

}  // namespace look
