#include "Wordmark.h"

namespace look {

QPainterPath WordmarkPath(const QPointF& origin, qreal xh, qreal* width)
{
    QPainterPath path;
    const qreal cap = xh * 1.42;
    const qreal gap = xh * 0.34;
    const qreal base = origin.y();
    const qreal top = base - xh;
    qreal x = origin.x();

    // O: a slightly wide ring at cap height.
    const qreal ow = cap * 0.98;
    path.addEllipse(QRectF(x, base - cap, ow, cap));
    x += ow + gap;

    // r: stem and a shoulder that stops short.
    path.moveTo(x, base);
    path.lineTo(x, top);
    path.moveTo(x, top + xh * 0.42);
    path.cubicTo(x + xh * 0.08, top + xh * 0.08, x + xh * 0.42, top, x + xh * 0.62, top + xh * 0.04);
    x += xh * 0.62 + gap * 0.8;

    // v
    const qreal vw = xh * 0.86;
    path.moveTo(x, top);
    path.lineTo(x + vw / 2, base);
    path.lineTo(x + vw, top);
    x += vw + gap;

    // a: single-storey, bowl and right stem.
    const qreal aw = xh * 0.86;
    path.addEllipse(QRectF(x, top, aw, xh));
    path.moveTo(x + aw, top);
    path.lineTo(x + aw, base);
    x += aw + gap;

    // n: stem and arch.
    const qreal nw = xh * 0.8;
    path.moveTo(x, base);
    path.lineTo(x, top);
    path.moveTo(x, top + xh * 0.45);
    path.cubicTo(x + nw * 0.05, top - xh * 0.02, x + nw, top - xh * 0.05, x + nw, top + xh * 0.45);
    path.lineTo(x + nw, base);
    x += nw + gap;

    // e: bar across the middle, bowl open at the lower right.
    const qreal ew = xh * 0.92;
    const QRectF bowl(x, top, ew, xh);
    path.moveTo(x, top + xh * 0.5);
    path.lineTo(x + ew, top + xh * 0.5);
    path.arcTo(bowl, 0, 180);
    path.arcTo(bowl, 180, 140);
    x += ew;

    if (width)
        *width = x - origin.x();
    return path;
}

}  // namespace look
