#include "Icons.h"

#include "Look.h"

#include <QRadialGradient>

namespace look {
namespace {

void DrawSoftShadow(QPainter& p, const QPainterPath& shape)
{
    p.save();
    p.setPen(Qt::NoPen);
    for (int i = 3; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, 16));
        p.drawPath(shape.translated(0, i * 0.6));
    }
    p.restore();
}

}  // namespace

QImage ErrorIcon()
{
    QImage img = Canvas(46, 46);
    QPainter p;
    Begin(p, img);
    QPainterPath disc;
    disc.addEllipse(QRectF(3, 2, 40, 40));
    DrawSoftShadow(p, disc);
    QRadialGradient g(QPointF(17, 12), 38);
    g.setColorAt(0, QColor(246, 104, 96));
    g.setColorAt(0.6, QColor(214, 54, 52));
    g.setColorAt(1, QColor(170, 30, 36));
    p.setPen(QPen(QColor(132, 20, 28), 1.2));
    p.setBrush(g);
    p.drawPath(disc);
    p.setPen(QPen(QColor(255, 255, 255), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(15.5, 14.5), QPointF(30.5, 29.5));
    p.drawLine(QPointF(30.5, 14.5), QPointF(15.5, 29.5));
    return img;
}

QImage WarningIcon()
{
    QImage img = Canvas(46, 46);
    QPainter p;
    Begin(p, img);
    QPainterPath tri;
    tri.moveTo(23, 3.5);
    tri.lineTo(43, 39.5);
    tri.lineTo(3, 39.5);
    tri.closeSubpath();
    // Round the corners by stroking the same outline wide.
    QPainterPathStroker stroker;
    stroker.setWidth(5);
    stroker.setJoinStyle(Qt::RoundJoin);
    const QPainterPath shape = tri.united(stroker.createStroke(tri)).simplified();
    DrawSoftShadow(p, shape);
    QLinearGradient g(QPointF(0, 2), QPointF(0, 42));
    g.setColorAt(0, QColor(255, 212, 92));
    g.setColorAt(1, QColor(240, 160, 28));
    p.setPen(QPen(QColor(176, 112, 10), 1.2));
    p.setBrush(g);
    p.drawPath(shape);
    p.setPen(QPen(QColor(58, 40, 8), 4.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(23, 15), QPointF(23, 28));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(58, 40, 8));
    p.drawEllipse(QPointF(23, 34.5), 2.6, 2.6);
    return img;
}

QImage AppIcon(int size)
{
    QImage img = Canvas(size, size);
    QPainter p;
    Begin(p, img);
    p.scale(size / 48.0, size / 48.0);
    const QRectF tile(2, 2, 44, 44);
    QLinearGradient g(tile.topLeft(), tile.bottomRight());
    g.setColorAt(0, QColor(52, 108, 196));
    g.setColorAt(1, QColor(14, 36, 80));
    p.setPen(QPen(QColor(8, 22, 52), 1.2));
    p.setBrush(g);
    p.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), 9, 9);
    // The appliance: a drive body standing on a light base line.
    QLinearGradient body(QPointF(0, 10), QPointF(0, 38));
    body.setColorAt(0, QColor(250, 252, 255));
    body.setColorAt(1, QColor(196, 212, 236));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(12, 9, 24, 30), 4, 4);
    p.setBrush(QColor(26, 60, 118));
    for (int i = 0; i < 3; ++i)
        p.drawRoundedRect(QRectF(16, 14 + i * 5, 16, 2.4), 1.2, 1.2);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(30, 33), 2.4, 2.4);
    p.setBrush(QColor(130, 150, 184));
    p.drawEllipse(QPointF(18, 33), 1.4, 1.4);
    p.drawEllipse(QPointF(22.5, 33), 1.4, 1.4);
    return img;
}

void DrawDiskGlyph(QPainter& p, const QRectF& box, const QColor& color)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 20.0, box.height() / 20.0);
    p.setPen(QPen(color, 1.6));
    p.setBrush(Qt::NoBrush);
    // A disk platter stack seen from the side.
    p.drawEllipse(QRectF(2, 2.5, 16, 5.5));
    p.drawLine(QPointF(2, 5.2), QPointF(2, 15));
    p.drawLine(QPointF(18, 5.2), QPointF(18, 15));
    p.drawArc(QRectF(2, 12.2, 16, 5.5), 180 * 16, 180 * 16);
    p.drawArc(QRectF(2, 7.4, 16, 5.5), 180 * 16, 180 * 16);
    p.restore();
}

void DrawFirmwareGlyph(QPainter& p, const QRectF& box, const QColor& color)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 20.0, box.height() / 20.0);
    p.setPen(QPen(color, 1.5));
    p.setBrush(Qt::NoBrush);
    // A chip with pins, an upward arrow inside.
    p.drawRoundedRect(QRectF(4, 4, 12, 12), 1.5, 1.5);
    for (int i = 0; i < 3; ++i) {
        const qreal at = 6.5 + i * 3.5;
        p.drawLine(QPointF(at, 1), QPointF(at, 3.5));
        p.drawLine(QPointF(at, 16.5), QPointF(at, 19));
        p.drawLine(QPointF(1, at), QPointF(3.5, at));
        p.drawLine(QPointF(16.5, at), QPointF(19, at));
    }
    p.setPen(QPen(color, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(10, 13.5), QPointF(10, 7));
    p.drawPolyline(QPolygonF({QPointF(7.2, 9.6), QPointF(10, 6.8), QPointF(12.8, 9.6)}));
    p.restore();
}

void DrawSearchGlyph(QPainter& p, const QRectF& box, const QColor& color)
{
    p.save();
    p.translate(box.topLeft());
    p.scale(box.width() / 20.0, box.height() / 20.0);
    p.setPen(QPen(color, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(2.5, 2.5, 10.5, 10.5));
    p.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(12, 12), QPointF(17, 17));
    p.restore();
}

}  // namespace look
