#include "Animations.h"

#include "Look.h"
#include "Wordmark.h"

#include <QtMath>

namespace look {
namespace {

constexpr qreal kWordX = 22;
constexpr qreal kWordBaseline = 38;
constexpr qreal kWordXHeight = 16;
constexpr qreal kNoGlint = -1e9;

QPointF LightCentre()
{
    qreal width = 0;
    WordmarkPath(QPointF(kWordX, kWordBaseline), kWordXHeight, &width);
    return QPointF(kWordX + width + 9, kWordBaseline - kWordXHeight * 1.42 + 2);
}

void DrawWaves(QPainter& p)
{
    // Still lines of a wave field, brighter to the right.
    for (int line = 0; line < 5; ++line) {
        QPainterPath path;
        const qreal mid = 20 + line * 6.5;
        for (int x = 150; x <= kBannerWidth + 4; x += 3) {
            const qreal t = (x - 150) / qreal(kBannerWidth - 150);
            const qreal y = mid + 7 * t * std::sin(x * 0.021 + line * 0.9) + 3 * std::sin(x * 0.055 + line);
            if (x == 150)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        QLinearGradient fade(QPointF(150, 0), QPointF(kBannerWidth, 0));
        QColor c = line % 2 ? kAccentSoft : kAccent;
        c.setAlpha(0);
        fade.setColorAt(0, c);
        c.setAlpha(50 + line * 12);
        fade.setColorAt(0.6, c);
        c.setAlpha(30);
        fade.setColorAt(1, c);
        p.setPen(QPen(QBrush(fade), 1.1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
}

void DrawLight(QPainter& p, qreal level)
{
    const QPointF c = LightCentre();
    QRadialGradient halo(c, 8);
    QColor glow = kAccentSoft;
    glow.setAlphaF(0.55 * level);
    halo.setColorAt(0, glow);
    glow.setAlpha(0);
    halo.setColorAt(1, glow);
    p.setPen(Qt::NoPen);
    p.setBrush(halo);
    p.drawEllipse(c, 8, 8);
    p.setBrush(Mix(QColor(40, 92, 160), QColor(190, 232, 255), level));
    p.drawEllipse(c, 2.6, 2.6);
}

QImage BannerWith(qreal lightLevel, qreal glintX)
{
    QImage img = BannerBase();
    QPainter p;
    Begin(p, img);
    DrawLight(p, lightLevel);
    if (glintX != kNoGlint) {
        // A slanted band of light, soft on both sides: the gradient runs
        // across the slant, and is see-through beyond its ends.
        const qreal half = 34;
        const QPointF centre(glintX, kBannerHeight / 2.0);
        QPointF across(kBannerHeight, 22);
        across /= std::hypot(across.x(), across.y());
        QLinearGradient g(centre - across * half, centre + across * half);
        g.setColorAt(0, QColor(255, 255, 255, 0));
        g.setColorAt(0.5, QColor(255, 255, 255, 52));
        g.setColorAt(1, QColor(255, 255, 255, 0));
        p.fillRect(img.rect(), g);
    }
    return img;
}

}  // namespace

QImage BannerBase()
{
    QImage img = OpaqueCanvas(kBannerWidth, kBannerHeight, kHeaderDeep);
    QPainter p;
    Begin(p, img);
    QLinearGradient across(QPointF(0, 0), QPointF(kBannerWidth, 0));
    across.setColorAt(0, QColor(14, 36, 76));
    across.setColorAt(0.55, QColor(22, 56, 112));
    across.setColorAt(1, QColor(30, 76, 148));
    p.fillRect(img.rect(), across);
    FillVertical(p, QRectF(0, 0, kBannerWidth, kBannerHeight), QColor(255, 255, 255, 14), QColor(0, 0, 0, 40));
    DrawWaves(p);
    p.setPen(QPen(kLightText, 3.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(WordmarkPath(QPointF(kWordX, kWordBaseline), kWordXHeight));
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.drawLine(QPointF(0, 0.5), QPointF(kBannerWidth, 0.5));
    return img;
}

std::vector<gif::CanvasFrame> BannerFrames()
{
    std::vector<gif::CanvasFrame> frames;
    const qreal pulse[] = {0.3, 0.55, 0.8, 1.0, 0.8, 0.55};
    for (qreal level : pulse)
        frames.push_back({BannerWith(level, kNoGlint), 12, gif::kDisposalKeep});
    const int sweeps = 14;
    for (int i = 0; i < sweeps; ++i) {
        const qreal x = -40 + i * (kBannerWidth + 80) / qreal(sweeps - 1);
        frames.push_back({BannerWith(0.3, x), 8, gif::kDisposalKeep});
    }
    // Two sweep frames restore to background: one mid-way, and the last, which
    // the first frame covers whole when the loop starts over.
    frames[6 + sweeps / 2].disposal = gif::kDisposalBackground;
    frames.back().disposal = gif::kDisposalBackground;
    return frames;
}

std::vector<gif::CanvasFrame> BusyFrames(const QImage& background)
{
    constexpr int kFrames = 12;
    constexpr int kStep = 18;  // frames * step spans the track inside
    const QRectF track(0.5, 5.5, 219, 13);
    const QColor blocks[] = {QColor(40, 104, 200), QColor(92, 148, 224), QColor(152, 190, 238)};
    std::vector<gif::CanvasFrame> frames;
    for (int k = 0; k < kFrames; ++k) {
        QImage img = background.convertToFormat(QImage::Format_RGB32);
        QPainter p;
        Begin(p, img);
        QLinearGradient g(track.topLeft(), track.bottomLeft());
        g.setColorAt(0, kSunken);
        g.setColorAt(1, QColor(234, 239, 247));
        p.setPen(QPen(kRule, 1));
        p.setBrush(g);
        p.drawRoundedRect(track, 4, 4);
        p.setPen(Qt::NoPen);
        for (int b = 0; b < 3; ++b) {
            // The trailing blocks of the first frames enter from the left end.
            const int lead = 2 + ((k - b + kFrames) % kFrames) * kStep;
            p.setBrush(blocks[b]);
            p.drawRoundedRect(QRectF(lead + 1, 8, kStep - 4, 8), 2, 2);
        }
        p.end();
        frames.push_back({img, 10, gif::kDisposalKeep});
    }
    return frames;
}

}  // namespace look
