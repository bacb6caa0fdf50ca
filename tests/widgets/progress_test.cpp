// The bitmap progress bar: refused positions and steps, stepping into the
// upper bound, and how much of the full bitmap shows.
#include "app/widgets/CBmpProgCtrl.h"
#include "widgets_test_support.h"

namespace {

using namespace widgets_test;

TEST(ProgressTest, RefusesOutOfRangeAndStopsAtTheUpperBound)
{
    CBmpProgCtrl bar(170);
    EXPECT_EQ(bar.size(), QSize(192, 19));
    EXPECT_FALSE(bar.SetPos(0)) << "the range starts at 1";
    EXPECT_TRUE(bar.SetPos(60));
    EXPECT_FALSE(bar.SetPos(101));
    EXPECT_EQ(bar.GetPos(), 60);
    EXPECT_FALSE(bar.SetStep(0));
    EXPECT_TRUE(bar.SetStep(20));
    EXPECT_TRUE(bar.StepIt());
    EXPECT_TRUE(bar.StepIt());
    EXPECT_EQ(bar.GetPos(), 100);
    EXPECT_FALSE(bar.StepIt());
    EXPECT_EQ(bar.GetPos(), 100);
    bar.SetRange(5, 5);
    ASSERT_TRUE(bar.SetPos(5));
    EXPECT_EQ(bar.Fraction(), 0.0) << "an empty range draws nothing done";
    bar.SetRange(100, 0);  // the wrong way round
    EXPECT_TRUE(bar.SetPos(40));
    EXPECT_FALSE(bar.SetPos(101));
    EXPECT_DOUBLE_EQ(bar.Fraction(), 0.4);
}

TEST(ProgressTest, DonePartShowsTheFullBitmapStretched)
{
    const QImage empty = Artwork("BMP", 170);
    const QImage full = Artwork("BMP", 171);
    CBmpProgCtrl bar(170);
    auto columnIs = [&](const QImage& shot, int x, const QImage& bitmap, int bitmapX) {
        for (int y = 0; y < 19; ++y)
            if (shot.pixel(x, y) != bitmap.pixel(bitmapX, y))
                return false;
        return true;
    };
    ASSERT_FALSE(columnIs(full, 191, empty, 191));

    bar.SetRange(0, 100);
    bar.SetStep(70);
    bar.StepIt();
    bar.StepIt();  // past the end: full
    EXPECT_TRUE(columnIs(Grab(bar), 191, full, 191));

    bar.resize(384, 19);
    bar.SetPos(50);
    const QImage shot = Grab(bar);
    EXPECT_TRUE(columnIs(shot, 2 * 95, full, 95));
    EXPECT_TRUE(columnIs(shot, 2 * 97 + 1, empty, 97));
    EXPECT_TRUE(columnIs(shot, 383, empty, 191));
}

}  // namespace
