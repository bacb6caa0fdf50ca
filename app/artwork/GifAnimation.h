// Whole-canvas frames turned into a compact GIF: one shared palette, and
// every frame after the first cut down to the rectangle it changes.
#pragma once

#include "GifEncoder.h"

#include <QByteArray>
#include <QImage>
#include <QRect>

#include <vector>

namespace gif {

struct CanvasFrame {
    QImage image;  // the whole canvas as it should look, all frames one size
    int delay = 10;
    int disposal = kDisposalKeep;
};

// Where each frame after the first must be drawn, given the indexed canvases:
// what differs from the frame before, plus all of the frame before when that
// one is disposed (players disagree on what a disposed area shows).
std::vector<QRect> ChangedRects(const std::vector<QImage>& indexed, const std::vector<int>& disposals);

// Empty when the frames are empty or differ in size.
QByteArray EncodeCanvasFrames(const std::vector<CanvasFrame>& frames, int loops);

}  // namespace gif
