#include "GifAnimation.h"

#include "ColorQuantizer.h"
#include "GifEncoder.h"

namespace gif {
namespace {

QRect Difference(const QImage& a, const QImage& b)
{
    int left = a.width(), right = -1, top = a.height(), bottom = -1;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* ra = a.constScanLine(y);
        const uchar* rb = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            if (ra[x] == rb[x])
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace

std::vector<QRect> ChangedRects(const std::vector<QImage>& indexed, const std::vector<int>& disposals)
{
    std::vector<QRect> rects;
    if (indexed.empty())
        return rects;
    rects.push_back(indexed[0].rect());
    for (size_t k = 1; k < indexed.size(); ++k) {
        QRect r = Difference(indexed[k - 1], indexed[k]);
        if (disposals[k - 1] == kDisposalBackground || disposals[k - 1] == kDisposalPrevious)
            r |= rects[k - 1];
        // A frame that changes nothing still carries its delay.
        rects.push_back(r.isEmpty() ? QRect(0, 0, 1, 1) : r);
    }
    return rects;
}

QByteArray EncodeCanvasFrames(const std::vector<CanvasFrame>& frames, int loops)
{
    if (frames.empty())
        return {};
    std::vector<QImage> sources;
    std::vector<int> disposals;
    for (const CanvasFrame& f : frames) {
        if (f.image.size() != frames[0].image.size())
            return {};
        sources.push_back(f.image);
        disposals.push_back(f.disposal);
    }
    Animation a;
    a.width = frames[0].image.width();
    a.height = frames[0].image.height();
    a.globalColors = BuildPalette(sources, 256);
    a.loops = loops;
    std::vector<QImage> indexed;
    for (const QImage& img : sources)
        indexed.push_back(MapToPalette(img, a.globalColors));
    const std::vector<QRect> rects = ChangedRects(indexed, disposals);
    for (size_t k = 0; k < frames.size(); ++k) {
        Frame f;
        f.image = indexed[k].copy(rects[k]);
        f.offset = rects[k].topLeft();
        f.delay = frames[k].delay;
        f.disposal = frames[k].disposal;
        a.frames.push_back(std::move(f));
    }
    return Encode(a);
}

}  // namespace gif
