#include "Pages.h"

#include "Icons.h"
#include "Look.h"

namespace look {
namespace {

constexpr int kPageWidth = 431;
constexpr int kPageHeight = 333;
const QRectF kCardRect(2, 58, 427, 226);
const QRectF kHintStrip(14, 289, 410, 42);

void DrawDashedRule(QPainter& p, qreal y, qreal x0, qreal x1)
{
    p.setPen(QPen(QColor(206, 215, 230), 1, Qt::DashLine));
    p.drawLine(QPointF(x0, y + 0.5), QPointF(x1, y + 0.5));
}

}  // namespace

QImage PageBackground(PageKind kind)
{
    QImage img = OpaqueCanvas(kPageWidth, kPageHeight, kPanel);
    QPainter p;
    Begin(p, img);
    // Header: a soft fall from white with faint rings at the right.
    FillVertical(p, QRectF(0, 0, kPageWidth, 58), QColor(252, 253, 255), kPanel);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(214, 225, 241, 200 - i * 40), 1.2));
        p.drawEllipse(QPointF(404, 6), 22.0 + i * 16, 22.0 + i * 16);
    }
    const QRectF mark(388, 8, 30, 30);
    if (kind == PageKind::Search)
        DrawSearchGlyph(p, mark, QColor(176, 196, 226));
    else
        DrawDiskGlyph(p, mark, QColor(176, 196, 226));

    // Card holding the controls.
    p.setPen(QPen(QColor(0, 0, 0, 14), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(kCardRect.adjusted(0.5, 1.5, -0.5, 1.5), 5, 5);
    p.setPen(QPen(kCardEdge, 1));
    p.setBrush(kCard);
    p.drawRoundedRect(kCardRect.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);

    if (kind == PageKind::Search) {
        DrawDashedRule(p, 112, 10, 420);
        DrawDashedRule(p, 236, 10, 420);
    } else {
        // A recess the partition panel sits in.
        p.setPen(QPen(QColor(190, 202, 222), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(23.5, 67.5, 383, 118), 3, 3);
        DrawDashedRule(p, 193, 10, 420);
        DrawDashedRule(p, 236, 10, 420);
    }
    DrawHintStrip(p, kHintStrip);
    return img;
}

QImage PartitionPanel()
{
    QImage img = OpaqueCanvas(380, 115, kCard);
    QPainter p;
    Begin(p, img);
    FillVertical(p, QRectF(0, 0, 380, 115), QColor(255, 255, 255), QColor(233, 239, 248));
    // A faint grid reads as a surface to lay partitions on.
    p.setPen(QPen(QColor(224, 232, 243), 1));
    for (int x = 38; x < 380; x += 38)
        p.drawLine(QPointF(x + 0.5, 4), QPointF(x + 0.5, 110));
    p.setPen(QPen(kRule, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 379, 114));
    p.setPen(QPen(QColor(255, 255, 255), 1));
    p.drawLine(QPointF(1.5, 1.5), QPointF(378.5, 1.5));
    return img;
}

QImage SizeField()
{
    QImage img = OpaqueCanvas(167, 20, QColor(255, 255, 255));
    QPainter p;
    p.begin(&img);
    p.fillRect(QRect(1, 1, 165, 18), QColor(252, 253, 255));
    p.setPen(QColor(226, 232, 241));
    p.drawLine(1, 1, 165, 1);
    p.setPen(kRule);
    p.drawRect(0, 0, 166, 19);
    return img;
}

QImage DragBar()
{
    // Its own rounded tray, so it sits well on the card or the panel alike.
    QImage img = OpaqueCanvas(380, 60, kCard);
    QPainter p;
    Begin(p, img);
    p.setPen(QPen(kCardEdge, 1));
    QLinearGradient tray(QPointF(0, 0), QPointF(0, 60));
    tray.setColorAt(0, QColor(250, 252, 255));
    tray.setColorAt(1, QColor(234, 240, 248));
    p.setBrush(tray);
    p.drawRoundedRect(QRectF(0.5, 0.5, 379, 59), 4, 4);

    const QRectF track(3.5, 12.5, 373, 20);
    QLinearGradient g(track.topLeft(), track.bottomLeft());
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(1, QColor(222, 231, 244));
    p.setPen(QPen(kRule, 1));
    p.setBrush(g);
    p.drawRoundedRect(track, 3, 3);
    // The scale: twenty steps, a long tick every fifth.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(kRule);
    p.drawLine(4, 38, 376, 38);
    for (int i = 0; i <= 20; ++i) {
        const int x = 4 + (372 * i + 10) / 20;
        p.drawLine(x, 39, x, i % 5 == 0 ? 46 : 42);
    }
    return img;
}

QImage DragHandle()
{
    QImage img = OpaqueCanvas(4, 20, QColor(30, 70, 140));
    QPainter p;
    p.begin(&img);
    const QColor columns[4] = {QColor(26, 64, 130), QColor(92, 154, 232), QColor(52, 110, 196), QColor(18, 46, 100)};
    for (int x = 0; x < 4; ++x)
        p.fillRect(x, 0, 1, 20, columns[x]);
    p.fillRect(0, 0, 4, 1, QColor(14, 36, 80));
    p.fillRect(0, 19, 4, 1, QColor(14, 36, 80));
    return img;
}

QImage ProgressBar(bool full)
{
    QImage img = OpaqueCanvas(192, 19, kCard);
    QPainter p;
    Begin(p, img);
    const QRectF outer(0.5, 0.5, 191, 18);
    QLinearGradient g(outer.topLeft(), outer.bottomLeft());
    if (full) {
        g.setColorAt(0, QColor(104, 176, 244));
        g.setColorAt(0.5, QColor(58, 128, 218));
        g.setColorAt(1, QColor(34, 92, 184));
    } else {
        g.setColorAt(0, QColor(210, 219, 232));
        g.setColorAt(1, QColor(238, 242, 248));
    }
    p.setPen(QPen(kRule, 1));
    p.setBrush(g);
    p.drawRoundedRect(outer, 3, 3);
    p.setClipRect(QRectF(1, 1, 190, 17));
    if (full) {
        // Slanted bands, faint, so a partly drawn bar still reads as moving.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 26));
        for (int x = -20; x < 200; x += 14)
            p.drawPolygon(QPolygonF({QPointF(x, 19), QPointF(x + 7, 19), QPointF(x + 17, 0), QPointF(x + 10, 0)}));
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.drawLine(QPointF(3, 2.5), QPointF(189, 2.5));
    } else {
        p.setPen(QPen(QColor(0, 0, 0, 22), 1));
        p.drawLine(QPointF(3, 1.5), QPointF(189, 1.5));
    }
    return img;
}

}  // namespace look
