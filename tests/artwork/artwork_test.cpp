// The committed artwork, as the application loads it from its resources.
#include "app/widgets/ResourceImage.h"
#include "gif_blocks.h"

#include <QBuffer>
#include <QImageReader>
#include <QMovie>

#include <gtest/gtest.h>

namespace {

struct Expected {
    const char* type;
    int id;
    int width, height;
};

std::vector<Expected> AllResources()
{
    std::vector<Expected> all = {
        {"PNG", 135, 547, 453}, {"BMP", 134, 547, 453}, {"PNG", 178, 301, 130}, {"BMP", 179, 301, 130},
        {"PNG", 176, 46, 46},   {"PNG", 177, 46, 46},   {"PNG", 149, 431, 333}, {"PNG", 148, 431, 333},
        {"PNG", 174, 380, 115}, {"PNG", 172, 167, 20},  {"BMP", 164, 380, 60},  {"PNG", 161, 4, 20},
        {"BMP", 170, 192, 19},  {"BMP", 171, 192, 19},  {"BMP", 184, 16, 16},   {"BMP", 185, 16, 16},
        {"GIF", 169, 539, 57},  {"GIF", 150, 220, 24},  {"PNG", 128, 48, 48},
    };
    for (int id = 165; id <= 168; ++id)
        all.push_back({"PNG", id, 16, 16});
    for (int i = 0; i < 4; ++i) {
        all.push_back({"PNG", 5000 + i, 11, 11});
        for (int set : {5010, 5020, 5050})
            all.push_back({"PNG", set + i, 95, 35});
        all.push_back({"PNG", 5030 + i, 79, 23});
        all.push_back({"PNG", 5040 + i, 65, 23});
    }
    return all;
}

int U16(const QByteArray& d, int at) { return uchar(d[at]) | uchar(d[at + 1]) << 8; }
int U32(const QByteArray& d, int at) { return U16(d, at) | U16(d, at + 2) << 16; }

double Luminance(QRgb c)
{
    auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

double Contrast(QRgb a, QRgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Lowest contrast of the text colour against any pixel of the area.
double WorstContrast(const QImage& image, const QRect& area, QRgb text)
{
    double worst = 100;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            worst = std::min(worst, Contrast(image.pixel(x, y), text));
    return worst;
}

const QRgb kLightText = qRgb(244, 245, 247);
const QRgb kDarkText = qRgb(33, 48, 79);
const QRgb kHole = qRgb(230, 44, 44);

struct Decoded {
    std::vector<QImage> frames;
    std::vector<int> delays;
    int loops = 0;
    int count = 0;
};

Decoded DecodeGif(int id)
{
    QByteArray bytes = LoadResourceBytes("GIF", id);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    Decoded out;
    out.count = reader.imageCount();
    out.loops = reader.loopCount();
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
        out.frames.push_back(frame.convertToFormat(QImage::Format_RGB32));
        out.delays.push_back(reader.nextImageDelay());
    }
    return out;
}

}  // namespace

TEST(ArtworkResources, EveryImageIsThereWithItsSize)
{
    for (const Expected& e : AllResources()) {
        const QImage img = LoadResourceImage(e.type, e.id);
        ASSERT_FALSE(img.isNull()) << e.type << " " << e.id;
        EXPECT_EQ(img.size(), QSize(e.width, e.height)) << e.type << " " << e.id;
    }
}

TEST(ArtworkResources, BitmapsAreUncompressed24Bit)
{
    for (const Expected& e : AllResources()) {
        if (std::string(e.type) != "BMP")
            continue;
        const QByteArray d = LoadResourceBytes("BMP", e.id);
        ASSERT_GE(d.size(), 54) << e.id;
        EXPECT_TRUE(d.startsWith("BM")) << e.id;
        EXPECT_EQ(U16(d, 28), 24) << e.id;
        EXPECT_EQ(U32(d, 30), 0) << e.id;
        EXPECT_EQ(U32(d, 18), e.width) << e.id;
        EXPECT_EQ(U32(d, 22), e.height) << e.id;
        EXPECT_EQ(d.size(), U32(d, 10) + ((e.width * 3 + 3) & ~3) * e.height) << e.id;
    }
}

TEST(ArtworkResources, AlphaOnlyWhereTheControlsExpectIt)
{
    for (int id : {165, 166, 167, 168, 5000, 5001, 5002, 5003})
        EXPECT_FALSE(LoadResourceImage("PNG", id).hasAlphaChannel()) << id;
    // Rounded buttons and icons let the background show at their corners.
    for (int id : {5010, 5023, 5033, 5040, 5052, 176, 177, 128}) {
        const QImage img = LoadResourceImage("PNG", id);
        ASSERT_TRUE(img.hasAlphaChannel()) << id;
        EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << id;
        EXPECT_EQ(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 255) << id;
    }
}

TEST(ArtworkShapes, HolesOnlyOutsideTheRoundedTopCorners)
{
    for (auto [id, backgroundId] : {std::pair(134, 135), std::pair(179, 178)}) {
        const QImage shape = LoadResourceImage("BMP", id).convertToFormat(QImage::Format_RGB32);
        const QImage window = LoadResourceImage("PNG", backgroundId);
        ASSERT_EQ(shape.size(), window.size()) << id;
        const int w = shape.width();
        EXPECT_EQ(shape.pixel(0, 0), kHole) << id;
        EXPECT_EQ(shape.pixel(w - 1, 0), kHole) << id;
        EXPECT_NE(shape.pixel(w / 2, 0), kHole) << id;
        EXPECT_NE(shape.pixel(w / 2, shape.height() / 2), kHole) << id;
        for (int y = 0; y < shape.height(); ++y) {
            // Holes run in from either edge and nowhere else.
            int left = 0, right = 0;
            while (left < w && shape.pixel(left, y) == kHole)
                ++left;
            while (right < w - left && shape.pixel(w - 1 - right, y) == kHole)
                ++right;
            for (int x = left; x < w - right; ++x)
                ASSERT_NE(shape.pixel(x, y), kHole) << id << " at " << x << "," << y;
            if (y >= 28) {
                ASSERT_EQ(left + right, 0) << id << " row " << y;
            }
            // The background shows nothing where the shape is cut away.
            if (left > 0) {
                EXPECT_LT(qAlpha(window.pixel(0, y)), 128) << id << " row " << y;
            }
            if (left < w) {
                EXPECT_GE(qAlpha(window.pixel(left, y)), 128) << id << " row " << y;
            }
        }
    }
}

TEST(ArtworkLook, LightTextFallsOnDarkAreas)
{
    const QImage window = LoadResourceImage("PNG", 135);
    EXPECT_GE(WorstContrast(window, QRect(31, 4, 200, 20), kLightText), 7.0) << "title";
    EXPECT_GE(WorstContrast(window, QRect(255, 97, 150, 18), kLightText), 7.0) << "language";
    const QImage message = LoadResourceImage("PNG", 178);
    EXPECT_GE(WorstContrast(message, QRect(31, 2, 240, 25), kLightText), 7.0) << "message title";
    EXPECT_GE(WorstContrast(message, QRect(81, 36, 195, 58), kLightText), 4.5) << "message text";
    for (int page : {148, 149})
        EXPECT_GE(WorstContrast(LoadResourceImage("PNG", page), QRect(46, 296, 367, 31), kLightText), 4.5)
            << "hint on page " << page;
}

TEST(ArtworkLook, DarkTextFallsOnLightAreas)
{
    for (int page : {148, 149}) {
        const QImage img = LoadResourceImage("PNG", page);
        EXPECT_GE(WorstContrast(img, QRect(8, 73, 90, 16), qRgb(0, 0, 0)), 10.0) << page;
        EXPECT_GE(WorstContrast(img, QRect(8, 134, 90, 16), qRgb(0, 0, 0)), 10.0) << page;
    }
    for (int id : {174, 172})
        EXPECT_GE(WorstContrast(LoadResourceImage("PNG", id), QRect(4, 4, 100, 10), kDarkText), 7.0) << id;
}

TEST(ArtworkLook, ButtonStatesReadAsNormalHoverPressedDisabled)
{
    // Captions: white on the first three faces, dark on the disabled one.
    const struct {
        int first;
        QRect caption;
    } sets[] = {{5010, QRect(34, 9, 55, 17)},
                {5020, QRect(34, 9, 55, 17)},
                {5050, QRect(34, 9, 55, 17)},
                {5030, QRect(15, 4, 50, 15)},
                {5040, QRect(15, 4, 36, 15)}};
    for (const auto& set : sets) {
        double level[4];
        for (int i = 0; i < 4; ++i) {
            const QImage img = LoadResourceImage("PNG", set.first + i);
            const QRgb text = i < 3 ? qRgb(255, 255, 255) : kDarkText;
            EXPECT_GE(WorstContrast(img, set.caption, text), 4.5) << set.first + i;
            level[i] = Luminance(img.pixel(set.caption.center()));
        }
        EXPECT_GT(level[1], level[0]) << "hover lighter, set " << set.first;
        EXPECT_LT(level[2], level[0]) << "pressed darker, set " << set.first;
        EXPECT_GT(level[3], level[1]) << "disabled light, set " << set.first;
    }
}

TEST(ArtworkLook, PiecesMatchWhatTheyAreLaidOn)
{
    // The close button over the title band.
    const QImage window = LoadResourceImage("PNG", 135);
    const QImage close = LoadResourceImage("PNG", 5000);
    for (QPoint corner : {QPoint(0, 0), QPoint(10, 10)}) {
        const QRgb a = close.pixel(corner), b = window.pixel(QPoint(524, 10) + corner);
        EXPECT_LE(std::abs(qBlue(a) - qBlue(b)) + std::abs(qGreen(a) - qGreen(b)), 4);
    }
    // The busy animation over the search page.
    const QImage page = LoadResourceImage("PNG", 149).convertToFormat(QImage::Format_RGB32);
    for (const QImage& frame : DecodeGif(150).frames)
        for (int x = 0; x < frame.width(); ++x)
            for (int y : {0, 1, 2, 21, 22, 23})
                ASSERT_EQ(frame.pixel(x, y), page.pixel(103 + x, 131 + y)) << x << "," << y;
}

TEST(ArtworkAnimations, BannerPlaysForeverInPartialFrames)
{
    const Decoded banner = DecodeGif(169);
    EXPECT_EQ(banner.count, 20);
    EXPECT_EQ(banner.loops, -1);
    ASSERT_EQ(banner.frames.size(), 20u);
    for (size_t i = 0; i < banner.frames.size(); ++i) {
        EXPECT_EQ(banner.frames[i].size(), QSize(539, 57)) << i;
        EXPECT_GE(banner.delays[i], 80) << i;
        EXPECT_LE(banner.delays[i], 150) << i;
    }
    EXPECT_NE(banner.frames[0], banner.frames[10]);

    const GifBlocks blocks = ReadGifBlocks(LoadResourceBytes("GIF", 169));
    ASSERT_TRUE(blocks.valid);
    EXPECT_EQ(blocks.loops, 0);
    int disposedPartial = 0;
    for (const GifBlockFrame& f : blocks.frames)
        if (f.disposal == 2 && f.rect != QRect(0, 0, 539, 57))
            ++disposedPartial;
    EXPECT_GE(disposedPartial, 1);
    EXPECT_EQ(blocks.frames[0].rect, QRect(0, 0, 539, 57));
    // The window shows the first frame, in true colour, before the animation
    // starts: only the palette may tell them apart.
    const QImage window = LoadResourceImage("PNG", 135).convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int y = 0; y < 57; ++y)
        for (int x = 0; x < 539; ++x) {
            const QRgb a = window.pixel(4 + x, 28 + y), b = banner.frames[0].pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    EXPECT_LE(worst, 12);
}

TEST(ArtworkAnimations, BusyBlocksMoveEveryTenthOfASecond)
{
    const Decoded busy = DecodeGif(150);
    EXPECT_EQ(busy.count, 12);
    EXPECT_EQ(busy.loops, -1);
    ASSERT_EQ(busy.frames.size(), 12u);
    for (size_t i = 0; i < busy.frames.size(); ++i) {
        EXPECT_EQ(busy.frames[i].size(), QSize(220, 24)) << i;
        EXPECT_EQ(busy.delays[i], 100) << i;
        EXPECT_NE(busy.frames[i], busy.frames[(i + 1) % busy.frames.size()]) << i;
    }
}

TEST(ArtworkAnimations, MoviePlayerShowsTheSameFrames)
{
    for (int id : {169, 150}) {
        const Decoded read = DecodeGif(id);
        QByteArray bytes = LoadResourceBytes("GIF", id);
        QBuffer buffer(&bytes);
        QMovie movie(&buffer, "gif");
        ASSERT_TRUE(movie.isValid()) << id;
        EXPECT_EQ(movie.frameCount(), int(read.frames.size())) << id;
        EXPECT_EQ(movie.loopCount(), -1) << id;
        for (int i = 0; i < int(read.frames.size()); ++i) {
            ASSERT_TRUE(movie.jumpToFrame(i)) << id << " frame " << i;
            EXPECT_EQ(movie.currentImage().convertToFormat(QImage::Format_RGB32), read.frames[i])
                << id << " frame " << i;
        }
    }
}
