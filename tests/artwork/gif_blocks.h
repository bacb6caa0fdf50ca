// Walks the blocks of a GIF file, independently of the writer, to see how
// its frames are laid out.
#pragma once

#include <QByteArray>
#include <QRect>

#include <vector>

struct GifBlockFrame {
    QRect rect;
    int delay = 0;
    int disposal = 0;
    bool localTable = false;
};

struct GifBlocks {
    bool valid = false;
    QSize screen;
    bool globalTable = false;
    int loops = -1;  // -1 without the loop extension
    std::vector<GifBlockFrame> frames;
};

inline GifBlocks ReadGifBlocks(const QByteArray& d)
{
    GifBlocks out;
    auto u8 = [&](qsizetype i) { return i < d.size() ? int(uchar(d[i])) : -1; };
    auto u16 = [&](qsizetype i) { return u8(i) | u8(i + 1) << 8; };
    auto skipSubBlocks = [&](qsizetype i) {
        while (u8(i) > 0)
            i += u8(i) + 1;
        return u8(i) == 0 ? i + 1 : d.size() + 1;
    };
    if (!d.startsWith("GIF89a") || d.size() < 13)
        return out;
    out.screen = QSize(u16(6), u16(8));
    out.globalTable = u8(10) & 0x80;
    qsizetype i = 13 + (out.globalTable ? 3 << ((u8(10) & 7) + 1) : 0);
    GifBlockFrame pending;
    while (i < d.size()) {
        const int kind = u8(i);
        if (kind == 0x3b) {
            out.valid = true;
            return out;
        }
        if (kind == 0x21 && u8(i + 1) == 0xf9) {
            // 21 f9 04, then packed fields, delay, transparent index
            pending.disposal = (u8(i + 3) >> 2) & 7;
            pending.delay = u16(i + 4);
            i = skipSubBlocks(i + 2);
        } else if (kind == 0x21 && u8(i + 1) == 0xff) {
            if (d.mid(i + 3, 11) == "NETSCAPE2.0")
                out.loops = u16(i + 16);
            i = skipSubBlocks(i + 2);
        } else if (kind == 0x21) {
            i = skipSubBlocks(i + 2);
        } else if (kind == 0x2c) {
            pending.rect = QRect(u16(i + 1), u16(i + 3), u16(i + 5), u16(i + 7));
            const int packed = u8(i + 9);
            pending.localTable = packed & 0x80;
            i += 10 + (pending.localTable ? 3 << ((packed & 7) + 1) : 0);
            i = skipSubBlocks(i + 1);
            out.frames.push_back(pending);
            pending = GifBlockFrame();
        } else {
            return out;
        }
    }
    return out;
}
