#include "Look.h"

#include <QLinearGradient>

namespace look {

QColor Mix(const QColor& a, const QColor& b, double t)
{
    auto m = [t](int x, int y) { return int(x + (y - x) * t + 0.5); };
    return QColor(m(a.red(), b.red()), m(a.green(), b.green()), m(a.blue(), b.blue()),
                  m(a.alpha(), b.alpha()));
}

QColor BandColor(int y)
{
    // A faint lift at the very top, then a slow fall to the deep tone.
    static const QColor top(34, 62, 110), high(28, 54, 98), low(18, 38, 74);
    if (y <= 1)
        return top;
    return Mix(high, low, std::clamp((y - 2) / 33.0, 0.0, 1.0));
}

QImage Canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage OpaqueCanvas(int width, int height, const QColor& fill)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

void Begin(QPainter& p, QImage& image)
{
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

void FillVertical(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(r, g);
}

void FillTitleBand(QPainter& p, int width, int height)
{
    for (int y = 0; y < height; ++y)
        p.fillRect(0, y, width, 1, BandColor(y));
}

QPainterPath RoundedTop(const QRectF& r, qreal radius)
{
    QPainterPath path;
    path.moveTo(r.left(), r.bottom());
    path.lineTo(r.left(), r.top() + radius);
    path.arcTo(QRectF(r.left(), r.top(), 2 * radius, 2 * radius), 180, -90);
    path.lineTo(r.right() - radius, r.top());
    path.arcTo(QRectF(r.right() - 2 * radius, r.top(), 2 * radius, 2 * radius), 90, -90);
    path.lineTo(r.right(), r.bottom());
    path.closeSubpath();
    return path;
}

namespace {

struct FaceTones {
    QColor top, bottom, edge, shine;
};

FaceTones Tones(State state)
{
    switch (state) {
    case State::Hover:
        return {QColor(64, 124, 206), QColor(40, 94, 178), QColor(20, 56, 120), QColor(150, 196, 250)};
    case State::Pressed:
        return {QColor(22, 56, 118), QColor(32, 74, 144), QColor(10, 30, 72), QColor(32, 70, 136)};
    case State::Disabled:
        return {QColor(222, 229, 239), QColor(203, 213, 228), QColor(160, 175, 199), QColor(240, 244, 250)};
    case State::Normal:
        break;
    }
    return {QColor(50, 106, 188), QColor(30, 78, 156), QColor(14, 44, 100), QColor(120, 170, 236)};
}

}  // namespace

void DrawFace(QPainter& p, const QRectF& r, State state, qreal radius)
{
    const FaceTones t = Tones(state);
    const QRectF outer = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, t.top);
    g.setColorAt(1, t.bottom);
    p.setPen(QPen(t.edge, 1));
    p.setBrush(g);
    p.drawRoundedRect(outer, radius, radius);
    // A thin light rim under the top edge gives the face its lift.
    p.setBrush(Qt::NoBrush);
    QColor shine = t.shine;
    shine.setAlpha(state == State::Pressed ? 90 : 150);
    p.setPen(QPen(shine, 1));
    p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
}

QColor GlyphColor(State state)
{
    switch (state) {
    case State::Hover:
        return QColor(255, 255, 255);
    case State::Pressed:
        return QColor(214, 228, 248);
    case State::Disabled:
        return QColor(142, 158, 186);
    case State::Normal:
        break;
    }
    return QColor(236, 243, 252);
}

void DrawHintStrip(QPainter& p, const QRectF& r)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kStripTop);
    g.setColorAt(1, kStripBottom);
    p.setPen(QPen(QColor(14, 32, 66), 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    p.setPen(QPen(QColor(72, 112, 176, 160), 1));
    p.drawLine(QPointF(r.left() + 5, r.top() + 1.5), QPointF(r.right() - 5, r.top() + 1.5));
    // An info mark at the left, clear of the text that starts further in.
    const QPointF c(r.left() + 16, r.center().y());
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(c, 8, 8);
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QPointF(c.x(), c.y() - 4), 1.3, 1.3);
    p.drawRoundedRect(QRectF(c.x() - 1.2, c.y() - 1.5, 2.4, 6.5), 1, 1);
}

}  // namespace look
