#include "ColorQuantizer.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

namespace gif {
namespace {

struct Entry {
    QRgb color;
    qint64 count;
};

int Channel(QRgb c, int ch) { return ch == 0 ? qRed(c) : ch == 1 ? qGreen(c) : qBlue(c); }

struct Box {
    std::vector<Entry> entries;
    qint64 weight = 0;
    int widestChannel = 0;
    int range = 0;

    void measure()
    {
        weight = 0;
        range = 0;
        for (const Entry& e : entries)
            weight += e.count;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (const Entry& e : entries) {
                lo = std::min(lo, Channel(e.color, ch));
                hi = std::max(hi, Channel(e.color, ch));
            }
            if (hi - lo > range) {
                range = hi - lo;
                widestChannel = ch;
            }
        }
    }
    QRgb average() const
    {
        std::array<qint64, 3> sum{};
        for (const Entry& e : entries)
            for (int ch = 0; ch < 3; ++ch)
                sum[ch] += qint64(Channel(e.color, ch)) * e.count;
        auto mean = [&](int ch) { return int((sum[ch] + weight / 2) / weight); };
        return qRgb(mean(0), mean(1), mean(2));
    }
};

int Distance(QRgb a, QRgb b)
{
    const int dr = qRed(a) - qRed(b), dg = qGreen(a) - qGreen(b), db = qBlue(a) - qBlue(b);
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

}  // namespace

QList<QRgb> BuildPalette(const std::vector<QImage>& images, int maxColors)
{
    // Ordered map: the palette must not depend on hash order.
    std::map<QRgb, qint64> counts;
    for (const QImage& source : images) {
        const QImage img = source.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x)
                ++counts[row[x] | 0xff000000u];
        }
    }
    QList<QRgb> palette;
    if (counts.empty() || maxColors <= 0)
        return palette;
    if (qsizetype(counts.size()) <= maxColors) {
        for (const auto& [color, n] : counts)
            palette.append(color);
        return palette;
    }
    std::vector<Box> boxes(1);
    for (const auto& [color, n] : counts)
        boxes[0].entries.push_back({color, n});
    boxes[0].measure();
    while (int(boxes.size()) < maxColors) {
        // Split where a wide spread of colours covers many pixels.
        int pick = -1;
        qint64 best = 0;
        for (int i = 0; i < int(boxes.size()); ++i) {
            if (boxes[i].entries.size() < 2)
                continue;
            const qint64 score = qint64(boxes[i].range) * boxes[i].range * (boxes[i].weight + 64);
            if (score > best) {
                best = score;
                pick = i;
            }
        }
        if (pick < 0)
            break;
        Box& box = boxes[pick];
        const int ch = box.widestChannel;
        std::sort(box.entries.begin(), box.entries.end(), [ch](const Entry& a, const Entry& b) {
            const int ca = Channel(a.color, ch), cb = Channel(b.color, ch);
            return ca != cb ? ca < cb : a.color < b.color;
        });
        qint64 seen = 0;
        size_t cut = 1;
        for (; cut < box.entries.size() - 1; ++cut) {
            seen += box.entries[cut - 1].count;
            if (seen * 2 >= box.weight)
                break;
        }
        Box upper;
        upper.entries.assign(box.entries.begin() + cut, box.entries.end());
        box.entries.resize(cut);
        box.measure();
        upper.measure();
        boxes.push_back(std::move(upper));
    }
    for (const Box& box : boxes)
        palette.append(box.average());
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
    return palette;
}

QImage MapToPalette(const QImage& source, const QList<QRgb>& palette)
{
    const QImage img = source.convertToFormat(QImage::Format_RGB32);
    QImage out(img.size(), QImage::Format_Indexed8);
    out.setColorTable(palette);
    std::unordered_map<QRgb, uchar> nearest;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = row[x] | 0xff000000u;
            auto it = nearest.find(c);
            if (it == nearest.end()) {
                int best = 0;
                for (int i = 1; i < palette.size(); ++i)
                    if (Distance(c, palette[i]) < Distance(c, palette[best]))
                        best = i;
                it = nearest.emplace(c, uchar(best)).first;
            }
            dst[x] = it->second;
        }
    }
    return out;
}

}  // namespace gif
