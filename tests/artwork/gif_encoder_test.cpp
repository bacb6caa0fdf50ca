// The GIF writer, checked by reading its files back with Qt's GIF reader.
#include "app/artwork/ColorQuantizer.h"
#include "app/artwork/GifAnimation.h"
#include "app/artwork/GifEncoder.h"
#include "gif_blocks.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

namespace {

std::vector<QImage> DecodeAll(const QByteArray& bytes, std::vector<int>* delays = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    std::vector<QImage> frames;
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
        frames.push_back(frame.convertToFormat(QImage::Format_ARGB32));
        if (delays)
            delays->push_back(reader.nextImageDelay());
    }
    return frames;
}

QList<QRgb> Ramp(int n)
{
    QList<QRgb> colors;
    for (int i = 0; i < n; ++i)
        colors.append(qRgb(i * 255 / std::max(1, n - 1), (i * 97) % 256, 255 - (i * 31) % 256));
    return colors;
}

// Noise the LZW table cannot compress: it fills up and is cleared.
QImage Noise(int w, int h, const QList<QRgb>& colors, quint32 seed)
{
    QImage img(w, h, QImage::Format_Indexed8);
    img.setColorTable(colors);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            img.scanLine(y)[x] = uchar((seed >> 24) % colors.size());
        }
    return img;
}

void ExpectSamePixels(const QImage& decoded, const QImage& expected, const char* what)
{
    ASSERT_EQ(decoded.size(), expected.size()) << what;
    const QImage want = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            ASSERT_EQ(decoded.pixel(x, y), want.pixel(x, y)) << what << " at " << x << "," << y;
}

gif::Animation OneFrame(const QImage& image)
{
    gif::Animation a;
    a.width = image.width();
    a.height = image.height();
    a.globalColors = image.colorTable();
    a.loops = -1;
    a.frames.push_back({image, {0, 0}, 0, gif::kDisposalNone, -1});
    return a;
}

}  // namespace

TEST(GifEncoder, SingleFramesRoundTripAtEveryCodeWidth)
{
    // Palette sizes drive the starting code width; sizes drive table resets.
    const struct {
        int colors, width, height;
    } cases[] = {{2, 1, 1}, {2, 37, 5}, {3, 16, 16}, {16, 61, 43}, {200, 97, 61}, {256, 256, 200}};
    for (const auto& c : cases) {
        const QImage img = Noise(c.width, c.height, Ramp(c.colors), c.colors * 7919u);
        const std::vector<QImage> frames = DecodeAll(gif::Encode(OneFrame(img)));
        ASSERT_EQ(frames.size(), 1u) << c.colors << " colours";
        ExpectSamePixels(frames[0], img, "noise");
    }
}

TEST(GifEncoder, LongRunsOfOneColourRoundTrip)
{
    // Runs grow codes out of their own prefix, the case a reader must infer.
    QImage img(300, 120, QImage::Format_Indexed8);
    img.setColorTable(Ramp(4));
    img.fill(1);
    for (int x = 0; x < 300; x += 53)
        img.scanLine(60)[x] = 3;
    const std::vector<QImage> frames = DecodeAll(gif::Encode(OneFrame(img)));
    ASSERT_EQ(frames.size(), 1u);
    ExpectSamePixels(frames[0], img, "runs");
}

TEST(GifEncoder, PartialFramesLocalTablesAndTransparencyCompose)
{
    const QList<QRgb> global = Ramp(8);
    QImage base(40, 30, QImage::Format_Indexed8);
    base.setColorTable(global);
    base.fill(2);

    QImage patch = Noise(10, 6, {qRgb(250, 10, 10), qRgb(10, 250, 10), qRgb(10, 10, 250)}, 5);
    QImage holey = Noise(12, 8, global, 9);
    for (int x = 0; x < 12; ++x)
        holey.scanLine(3)[x] = 7;  // index 7 is left see-through
    QImage cover = Noise(14, 10, global, 11);

    gif::Animation a;
    a.width = 40;
    a.height = 30;
    a.globalColors = global;
    a.loops = 0;
    a.frames.push_back({base, {0, 0}, 10, gif::kDisposalKeep, -1});
    a.frames.push_back({patch, {5, 4}, 12, gif::kDisposalKeep, -1});
    a.frames.push_back({holey, {3, 2}, 15, gif::kDisposalBackground, 7});
    // Covers all the disposed frame did, so what a player restores is hidden.
    a.frames.push_back({cover, {2, 1}, 8, gif::kDisposalKeep, -1});
    const QByteArray bytes = gif::Encode(a);

    const GifBlocks blocks = ReadGifBlocks(bytes);
    ASSERT_TRUE(blocks.valid);
    EXPECT_EQ(blocks.loops, 0);
    ASSERT_EQ(blocks.frames.size(), 4u);
    EXPECT_FALSE(blocks.frames[0].localTable);
    EXPECT_TRUE(blocks.frames[1].localTable);
    EXPECT_EQ(blocks.frames[2].disposal, 2);
    EXPECT_EQ(blocks.frames[2].rect, QRect(3, 2, 12, 8));

    std::vector<int> delays;
    const std::vector<QImage> frames = DecodeAll(bytes, &delays);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(delays, (std::vector<int>{100, 120, 150, 80}));

    QImage canvas = base.convertToFormat(QImage::Format_ARGB32);
    ExpectSamePixels(frames[0], canvas, "frame 0");
    auto lay = [&canvas](const QImage& piece, QPoint at, int transparent) {
        for (int y = 0; y < piece.height(); ++y)
            for (int x = 0; x < piece.width(); ++x)
                if (piece.pixelIndex(x, y) != transparent)
                    canvas.setPixel(at.x() + x, at.y() + y, piece.pixel(x, y));
    };
    lay(patch, {5, 4}, -1);
    ExpectSamePixels(frames[1], canvas, "frame 1");
    lay(holey, {3, 2}, 7);
    ExpectSamePixels(frames[2], canvas, "frame 2");
    lay(cover, {2, 1}, -1);
    ExpectSamePixels(frames[3], canvas, "frame 3");
}

TEST(GifEncoder, RefusesMalformedAnimations)
{
    const QImage ok = Noise(4, 4, Ramp(4), 1);
    EXPECT_FALSE(gif::Encode(OneFrame(ok)).isEmpty());

    gif::Animation outside = OneFrame(ok);
    outside.frames[0].offset = QPoint(1, 0);
    EXPECT_TRUE(gif::Encode(outside).isEmpty());

    QImage badIndex = ok.copy();
    badIndex.setColorTable(Ramp(2));
    badIndex.scanLine(0)[0] = 3;
    EXPECT_TRUE(gif::Encode(OneFrame(badIndex)).isEmpty());

    gif::Animation wrongFormat = OneFrame(ok);
    wrongFormat.frames[0].image = ok.convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(gif::Encode(wrongFormat).isEmpty());

    gif::Animation none = OneFrame(ok);
    none.frames.clear();
    EXPECT_TRUE(gif::Encode(none).isEmpty());
}

TEST(GifCanvasFrames, PaletteKeepsFewColoursExactAndBoundsMany)
{
    QImage few(8, 8, QImage::Format_RGB32);
    few.fill(qRgb(10, 20, 30));
    few.setPixel(3, 3, qRgb(200, 100, 50));
    const QList<QRgb> exact = gif::BuildPalette({few}, 256);
    EXPECT_EQ(exact.size(), 2);
    EXPECT_TRUE(exact.contains(qRgb(200, 100, 50)));

    QImage ramp(300, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x)
            ramp.setPixel(x, y, qRgb(x * 255 / 299, y * 6, 128));
    const QList<QRgb> palette = gif::BuildPalette({ramp}, 64);
    EXPECT_LE(palette.size(), 64);
    const QImage mapped = gif::MapToPalette(ramp, palette);
    int worst = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 300; ++x) {
            const QRgb a = ramp.pixel(x, y), b = mapped.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b))});
        }
    EXPECT_LE(worst, 24);
}

TEST(GifCanvasFrames, LaterFramesShrinkToTheirChangesAndStillDecodeWhole)
{
    std::vector<gif::CanvasFrame> frames;
    for (int k = 0; k < 5; ++k) {
        QImage img(60, 20, QImage::Format_RGB32);
        img.fill(qRgb(20, 40, 80));
        for (int y = 5; y < 12; ++y)
            for (int x = 0; x < 6; ++x)
                img.setPixel(4 + k * 10 + x, y, qRgb(240, 240, 255));
        frames.push_back({img, 10, gif::kDisposalKeep});
    }
    frames[2].disposal = gif::kDisposalBackground;
    frames.push_back(frames.back());  // nothing changes: still a frame
    const QByteArray bytes = gif::EncodeCanvasFrames(frames, 0);

    const GifBlocks blocks = ReadGifBlocks(bytes);
    ASSERT_EQ(blocks.frames.size(), 6u);
    EXPECT_EQ(blocks.frames[0].rect, QRect(0, 0, 60, 20));
    EXPECT_EQ(blocks.frames[1].rect, QRect(4, 5, 16, 7));
    // After the disposed frame the next one redraws all the disposed one drew.
    EXPECT_TRUE(blocks.frames[3].rect.contains(blocks.frames[2].rect));
    EXPECT_EQ(blocks.frames[5].rect.size(), QSize(1, 1));

    const std::vector<QImage> decoded = DecodeAll(bytes);
    ASSERT_EQ(decoded.size(), frames.size());
    for (size_t k = 0; k < frames.size(); ++k)
        ExpectSamePixels(decoded[k], frames[k].image, "canvas");
}
