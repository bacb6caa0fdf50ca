// Caption-less windows: the shape cut from the marker colour of the top rows,
// and moving the window by its top band.
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/ui/TitleBandDrag.h"
#include "app/ui/WindowShape.h"
#include "app/widgets/ResourceImage.h"

namespace {

TEST(WindowShapeTest, MarkerRunsOfTheTopRowsBecomeHoles)
{
    QImage bitmap(12, 32, QImage::Format_RGB32);
    bitmap.fill(qRgb(10, 20, 30));
    for (int x : {0, 1, 2, 9, 10, 11})
        bitmap.setPixel(x, 0, kShapeHoleColour);
    bitmap.setPixel(0, 27, kShapeHoleColour);
    bitmap.setPixel(0, 28, kShapeHoleColour);  // below the shaped rows: kept
    bitmap.setPixel(5, 3, qRgb(230, 44, 45));  // near the marker is not the marker

    const QRegion shape = ShapeFromBitmap(bitmap, QRect(0, 0, 12, 32));
    for (QPoint hole : {QPoint(0, 0), QPoint(2, 0), QPoint(9, 0), QPoint(11, 0), QPoint(0, 27)})
        EXPECT_FALSE(shape.contains(hole)) << hole.x() << "," << hole.y();
    for (QPoint kept : {QPoint(3, 0), QPoint(8, 0), QPoint(0, 28), QPoint(5, 3), QPoint(11, 31)})
        EXPECT_TRUE(shape.contains(kept)) << kept.x() << "," << kept.y();
}

TEST(WindowShapeTest, ArtworkShapesCutOnlyTheCorners)
{
    const QRegion main = ShapeFromBitmap(LoadResourceImage("BMP", 134), QRect(0, 0, 547, 453));
    EXPECT_FALSE(main.contains(QPoint(0, 0)));
    EXPECT_FALSE(main.contains(QPoint(546, 0)));
    EXPECT_TRUE(main.contains(QPoint(273, 0)));
    EXPECT_TRUE(main.contains(QPoint(0, 452)));
    const QRegion box = ShapeFromBitmap(LoadResourceImage("BMP", 179), QRect(0, 0, 301, 130));
    EXPECT_FALSE(box.contains(QPoint(0, 0)));
    EXPECT_TRUE(box.contains(QPoint(150, 65)));
}

// Press at y, move the mouse 40 pixels right; how far the window went.
int DragFrom(int y)
{
    QWidget window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.resize(547, 453);
    window.move(100, 100);
    new TitleBandDrag(&window, 28, 546);
    window.show();
    const QPoint start(200, y);
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(40, 0)), window.mapToGlobal(QPointF(start + QPoint(40, 0))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &move);
    QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, start + QPoint(40, 0));
    return window.pos().x() - 100;
}

TEST(TitleBandDragTest, OnlyTheTopBandMovesTheWindow)
{
    EXPECT_EQ(DragFrom(27), 40);
    EXPECT_EQ(DragFrom(28), 0);
}

}  // namespace
