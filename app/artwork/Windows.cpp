#include "Windows.h"

#include "Icons.h"
#include "Look.h"

namespace look {
namespace {

constexpr qreal kCornerRadius = 7;

void DrawGlobe(QPainter& p, const QPointF& c, qreal r, const QColor& color)
{
    p.save();
    p.setPen(QPen(color, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.drawEllipse(c, r * 0.42, r);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
    p.restore();
}

void DrawOutline(QPainter& p, const QRectF& window, qreal radius)
{
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kFrame, 1));
    p.drawPath(RoundedTop(window.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5));
    p.setPen(QPen(QColor(255, 255, 255, 30), 1));
    p.drawLine(QPointF(radius, 1.5), QPointF(window.width() - radius, 1.5));
}

}  // namespace

QImage MainWindowBackground(const QImage& bannerFrame)
{
    const QRectF window(0, 0, 547, 453);
    QImage img = Canvas(547, 453);
    QPainter p;
    Begin(p, img);
    p.setClipPath(RoundedTop(window, kCornerRadius));

    FillTitleBand(p, 547, 28);
    // Header under the title: banner, then the language row.
    FillVertical(p, QRectF(0, 28, 547, 88), QColor(20, 44, 86), QColor(16, 36, 74));
    p.drawImage(4, 28, bannerFrame);
    p.setPen(QPen(QColor(8, 20, 44), 1));
    p.drawLine(QPointF(4, 85.5), QPointF(543, 85.5));
    DrawGlobe(p, QPointF(241, 106), 7, QColor(150, 186, 232));
    p.setPen(QPen(kAccent, 1));
    p.drawLine(QPointF(0, 115.5), QPointF(547, 115.5));

    // Left column with the main buttons, then the page well.
    FillVertical(p, QRectF(0, 116, 547, 337), kPanelLow, QColor(204, 215, 231));
    FillVertical(p, QRectF(0, 116, 547, 6), QColor(0, 0, 0, 40), QColor(0, 0, 0, 0));
    p.setPen(QPen(kRule, 1));
    p.drawLine(QPointF(104.5, 116), QPointF(104.5, 453));
    DrawDiskGlyph(p, QRectF(32, 392, 40, 40), QColor(188, 201, 222));
    p.fillRect(QRect(105, 116, 431, 333), kPanel);
    p.setPen(QPen(kRule, 1));
    p.drawLine(QPointF(536.5, 116), QPointF(536.5, 449));
    p.drawLine(QPointF(105, 449.5), QPointF(536, 449.5));

    DrawOutline(p, window, kCornerRadius);
    return img;
}

QImage MessageBoxBackground()
{
    const QRectF window(0, 0, 301, 130);
    QImage img = Canvas(301, 130);
    QPainter p;
    Begin(p, img);
    p.setClipPath(RoundedTop(window, kCornerRadius));
    FillTitleBand(p, 301, 35);
    FillVertical(p, QRectF(0, 35, 301, 95), QColor(32, 64, 118), QColor(22, 48, 94));
    p.setPen(QPen(kAccent, 1));
    p.drawLine(QPointF(0, 34.5), QPointF(301, 34.5));
    // A soft glow where the icon sits, and a rule over the buttons.
    QRadialGradient glow(QPointF(40, 62), 34);
    glow.setColorAt(0, QColor(120, 170, 240, 52));
    glow.setColorAt(1, QColor(120, 170, 240, 0));
    p.fillRect(QRectF(0, 35, 90, 62), glow);
    p.setPen(QPen(QColor(10, 28, 62), 1));
    p.drawLine(QPointF(8, 95.5), QPointF(293, 95.5));
    p.setPen(QPen(QColor(255, 255, 255, 24), 1));
    p.drawLine(QPointF(8, 96.5), QPointF(293, 96.5));
    DrawOutline(p, window, kCornerRadius);
    return img;
}

QImage ShapeBitmap(const QImage& background)
{
    const QImage src = background.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    const QRgb hole = kShapeHole.rgb();
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        const QColor under = BandColor(y);
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 128) {
                dst[x] = hole;
                continue;
            }
            // Edge pixels kept by the shape lose their softness against the band.
            QRgb c = Mix(under, QColor::fromRgb(in[x] | 0xff000000u), a / 255.0).rgb();
            if ((c & 0xffffff) == (hole & 0xffffff))
                c = qRgb(qRed(c), qGreen(c), qBlue(c) + 1);
            dst[x] = c;
        }
    }
    return out;
}

}  // namespace look
