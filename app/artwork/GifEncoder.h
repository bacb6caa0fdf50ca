// GIF89a writer: Qt reads GIF but cannot write it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRgb>

#include <vector>

namespace gif {

enum Disposal { kDisposalNone = 0, kDisposalKeep = 1, kDisposalBackground = 2, kDisposalPrevious = 3 };

struct Frame {
    // Format_Indexed8. A colour table different from the global one is
    // written as the frame's local table.
    QImage image;
    QPoint offset;
    int delay = 10;  // hundredths of a second
    int disposal = kDisposalKeep;
    int transparent = -1;  // palette index left see-through, -1 for none
};

struct Animation {
    int width = 0;
    int height = 0;
    QList<QRgb> globalColors;  // empty: every frame carries its own table
    int backgroundIndex = 0;
    int loops = 0;  // 0 repeats forever; -1 writes no loop extension
    std::vector<Frame> frames;
};

// The variable-length-code LZW stream of one image, before it is cut
// into sub-blocks. minCodeSize is 2..8.
QByteArray LzwCompress(const uchar* indices, qsizetype count, int minCodeSize);

// Empty on a malformed animation (bad sizes, palette, indices outside it).
QByteArray Encode(const Animation& animation);

}  // namespace gif
