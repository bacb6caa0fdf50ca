// The picture control on GIFs built here (a 2-bit code size and a clear code
// after every two pixels keep codes at 3 bits, so no compressor is needed):
// frames taken apart, damaged data refused, the animation's disposal and
// stopping.
#include <QElapsedTimer>
#include <functional>

#include "app/widgets/CPictureEx.h"
#include "widgets_test_support.h"

namespace {

using namespace widgets_test;

const QRgb kColors[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)};
enum { kRed, kGreen, kBlue, kClear };

struct TestFrame {
    QRect rect;
    int color;
    int delay;
    int disposal;
    int clearRows = 0;  // top rows in the transparent index
};

void Bytes(QByteArray& out, std::initializer_list<int> bytes)
{
    for (int byte : bytes)
        out.append(static_cast<char>(byte));
}

void Word(QByteArray& out, int value) { Bytes(out, {value & 0xFF, value >> 8}); }

QByteArray BuildGif(QSize screen, const std::vector<TestFrame>& frames)
{
    QByteArray gif("GIF89a");
    Word(gif, screen.width());
    Word(gif, screen.height());
    gif.append("\x91\0\0", 3);
    for (QRgb c : kColors)
        Bytes(gif, {qRed(c), qGreen(c), qBlue(c)});
    gif.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0", 19);
    for (const TestFrame& f : frames) {
        gif.append("\x21\xF9\x04", 3);
        gif.append(static_cast<char>(f.disposal << 2 | 1));
        Word(gif, f.delay);
        Bytes(gif, {kClear, 0, 0x2C});
        Word(gif, f.rect.x());
        Word(gif, f.rect.y());
        Word(gif, f.rect.width());
        Word(gif, f.rect.height());
        std::vector<int> codes{4};
        for (int i = 0; i < f.rect.width() * f.rect.height(); ++i) {
            if (i % 2 == 0 && i > 0)
                codes.push_back(4);
            codes.push_back(i / f.rect.width() < f.clearRows ? kClear : f.color);
        }
        codes.push_back(5);
        QByteArray packed;
        unsigned bits = 0;
        int count = 0;
        for (int code : codes)
            for (bits |= code << count, count += 3; count >= 8; bits >>= 8, count -= 8)
                packed.append(static_cast<char>(bits));
        packed.append(static_cast<char>(bits));
        Bytes(gif, {0, 2});  // no local table, code size 2
        for (qsizetype at = 0; at < packed.size(); at += 255)
            gif.append(static_cast<char>(packed.mid(at, 255).size())).append(packed.mid(at, 255));
        gif.append('\0');
    }
    return gif.append('\x3B');
}

bool WaitFor(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

TEST(PictureTest, FramesAreTakenApart)
{
    CPictureEx picture;
    ASSERT_TRUE(picture.LoadFromMemory(
        BuildGif({8, 6}, {{QRect(0, 0, 8, 6), kRed, 10, 1}, {QRect(2, 1, 3, 4), kGreen, 4, 2}})));
    EXPECT_EQ(picture.size(), QSize(8, 6));
    ASSERT_EQ(picture.FrameCount(), 2);
    const CPictureEx::Frame& second = picture.GetFrame(1);
    EXPECT_EQ(second.rect, QRect(2, 1, 3, 4));
    EXPECT_EQ(second.delay, 4);
    EXPECT_EQ(second.disposal, 2);
    EXPECT_EQ(second.image.pixel(2, 3), kColors[kGreen]);
    EXPECT_EQ(picture.GetFrame(0).delay, 10);
    EXPECT_EQ(picture.MemoryImage().pixelColor(7, 5), picture.palette().color(QPalette::Window));
    for (int delay : {0, 4})
        EXPECT_EQ(CPictureEx::FrameWaitMs(delay), 100);
    EXPECT_EQ(CPictureEx::FrameWaitMs(5), 50);

    ASSERT_TRUE(picture.LoadFromMemory(BuildGif({5, 3}, {{QRect(0, 0, 5, 3), kBlue, 20, 2}})));
    EXPECT_FALSE(picture.IsAnimatedGIF());
    ASSERT_TRUE(picture.Draw());
    EXPECT_FALSE(picture.IsAnimating());
    EXPECT_EQ(picture.MemoryImage().pixel(4, 2), kColors[kBlue]);
    EXPECT_EQ(Grab(picture).pixel(4, 2), kColors[kBlue]);
}

TEST(PictureTest, DamagedDataIsRefused)
{
    const QByteArray gif = BuildGif({6, 6}, {{QRect(0, 0, 6, 6), kRed, 10, 1}, {QRect(1, 1, 2, 2), kBlue, 10, 2}});
    CPictureEx picture;
    for (qsizetype length = 0; length < gif.size(); ++length)
        ASSERT_FALSE(picture.LoadFromMemory(gif.left(length))) << "cut at " << length;
    EXPECT_EQ(picture.FrameCount(), 0);
    EXPECT_FALSE(picture.LoadFromMemory(gif.left(25) + '\x3B')) << "no frame";
    EXPECT_FALSE(picture.LoadFromMemory("not a picture"));
    // Any byte replaced: it may load or not, but reads stay within the data.
    for (qsizetype at = 6; at < gif.size(); ++at)
        for (char value : {'\0', '\xFF'})
            picture.LoadFromMemory(QByteArray(gif).replace(at, 1, &value, 1));
    EXPECT_TRUE(picture.Load(169, "GIF"));
    EXPECT_EQ(picture.size(), QSize(539, 57));
    EXPECT_TRUE(picture.IsAnimatedGIF());
}

TEST(PictureTest, AnimationDisposesFramesAndLoops)
{
    // Red everywhere, restored after the green frame (its top row clear);
    // then a blue corner cleared to the background after it.
    const QByteArray gif = BuildGif({4, 4}, {{QRect(0, 0, 4, 4), kRed, 0, 1},
                                             {QRect(0, 0, 2, 2), kGreen, 50, 3, 1},
                                             {QRect(3, 3, 1, 1), kBlue, 50, 2}});
    CPictureEx picture;
    ASSERT_TRUE(picture.LoadFromMemory(gif));
    ASSERT_TRUE(picture.Draw());
    EXPECT_TRUE(picture.IsAnimating());
    ASSERT_TRUE(WaitFor([&] { return picture.CurrentFrame() == 1; }));
    QImage memory = picture.MemoryImage();
    EXPECT_EQ(memory.pixel(0, 0), kColors[kRed]) << "clear row shows what is under it";
    EXPECT_EQ(memory.pixel(0, 1), kColors[kGreen]);
    ASSERT_TRUE(WaitFor([&] { return picture.CurrentFrame() == 2; }));
    memory = picture.MemoryImage();
    EXPECT_EQ(memory.pixel(0, 1), kColors[kRed]) << "restored";
    EXPECT_EQ(memory.pixel(3, 3), kColors[kBlue]);
    ASSERT_TRUE(WaitFor([&] { return picture.CurrentFrame() == 0; }));
    picture.Stop();
    EXPECT_FALSE(picture.IsAnimating());
}

TEST(PictureTest, StopEndsALongWaitPromptly)
{
    auto picture = std::make_unique<CPictureEx>();
    ASSERT_TRUE(picture->LoadFromMemory(
        BuildGif({2, 2}, {{QRect(0, 0, 2, 2), kRed, 1000, 1}, {QRect(0, 0, 2, 2), kBlue, 1000, 1}})));
    ASSERT_TRUE(picture->Draw());
    ASSERT_TRUE(WaitFor([&] { return picture->MemoryImage().pixel(0, 0) == kColors[kRed]; }));
    QElapsedTimer timer;
    timer.start();
    picture->Stop();
    EXPECT_FALSE(picture->IsAnimating());
    ASSERT_TRUE(picture->Draw());
    picture.reset();  // the destructor stops it too
    EXPECT_LT(timer.elapsed(), 1000);
}

}  // namespace
