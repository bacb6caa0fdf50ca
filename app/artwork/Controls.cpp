#include "Controls.h"

#include "Icons.h"

#include <QRadialGradient>

namespace look {

QImage ButtonImage(int width, int height, State state, Glyph glyph)
{
    QImage img = Canvas(width, height);
    QPainter p;
    Begin(p, img);
    DrawFace(p, QRectF(0, 0, width, height), state, height > 30 ? 5 : 4);
    if (glyph != Glyph::None) {
        // Left of the caption, which starts near x 32.
        const qreal side = 19;
        const QRectF box(7, (height - side) / 2, side, side);
        const QColor c = GlyphColor(state);
        if (glyph == Glyph::Disk)
            DrawDiskGlyph(p, box, c);
        else if (glyph == Glyph::Firmware)
            DrawFirmwareGlyph(p, box, c);
        else
            DrawSearchGlyph(p, box, c);
        // A hairline keeps the glyph apart from the caption.
        QColor rule = state == State::Disabled ? QColor(176, 189, 210) : QColor(255, 255, 255, 56);
        p.setPen(QPen(rule, 1));
        p.drawLine(QPointF(29.5, 8), QPointF(29.5, height - 8));
    }
    return img;
}

QImage CloseButtonImage(State state, int bandTop)
{
    QImage img = OpaqueCanvas(11, 11, BandColor(bandTop));
    QPainter p;
    Begin(p, img);
    for (int y = 0; y < 11; ++y)
        p.fillRect(0, y, 11, 1, BandColor(bandTop + y));
    QColor cross(198, 210, 230);
    if (state == State::Hover || state == State::Pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(state == State::Hover ? QColor(214, 72, 68) : QColor(150, 40, 42));
        p.drawRoundedRect(QRectF(0, 0, 11, 11), 2.5, 2.5);
        cross = QColor(255, 255, 255);
    } else if (state == State::Disabled) {
        cross = QColor(92, 112, 146);
    }
    // Through pixel centres, so the diagonals stay crisp at this size.
    p.setPen(QPen(cross, 1.5, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(2.5, 2.5), QPointF(8.5, 8.5));
    p.drawLine(QPointF(8.5, 2.5), QPointF(2.5, 8.5));
    return img;
}

QImage RadioImage(State state)
{
    QImage img = OpaqueCanvas(16, 16, kPanel);
    QPainter p;
    Begin(p, img);
    const QRectF ring(1.5, 1.5, 13, 13);
    QColor edge = kRule, fillTop(255, 255, 255), fillBottom(230, 236, 245);
    if (state == State::Hover || state == State::Pressed) {
        edge = QColor(46, 104, 190);
        fillTop = QColor(244, 249, 255);
        fillBottom = QColor(214, 230, 250);
    } else if (state == State::Disabled) {
        edge = QColor(188, 198, 214);
        fillTop = fillBottom = QColor(228, 232, 238);
    }
    QLinearGradient g(ring.topLeft(), ring.bottomLeft());
    g.setColorAt(0, fillTop);
    g.setColorAt(1, fillBottom);
    p.setPen(QPen(edge, 1.2));
    p.setBrush(g);
    p.drawEllipse(ring);
    if (state == State::Pressed) {
        QRadialGradient dot(QPointF(7, 7), 5);
        dot.setColorAt(0, QColor(86, 150, 232));
        dot.setColorAt(1, QColor(28, 78, 160));
        p.setPen(Qt::NoPen);
        p.setBrush(dot);
        p.drawEllipse(QPointF(8, 8), 3.6, 3.6);
    }
    return img;
}

QImage ComboArrowImage(bool enabled)
{
    QImage img = OpaqueCanvas(16, 16, QColor(252, 253, 255));
    QPainter p;
    Begin(p, img);
    FillVertical(p, QRectF(0, 0, 16, 16), QColor(252, 253, 255), QColor(234, 240, 248));
    p.setPen(QPen(enabled ? QColor(206, 216, 232) : QColor(224, 229, 236), 1));
    p.drawLine(QPointF(0.5, 2), QPointF(0.5, 14));
    p.setPen(QPen(enabled ? QColor(34, 72, 138) : QColor(170, 180, 196), 1.8, Qt::SolidLine,
                  Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(4.5, 6.5), QPointF(8.5, 10.5), QPointF(12.5, 6.5)}));
    return img;
}

}  // namespace look
