#include "GifEncoder.h"

#include <unordered_map>

namespace gif {
namespace {

constexpr int kMaxCodes = 4096;

class BitWriter {
public:
    void put(int code, int bits)
    {
        m_acc |= quint32(code) << m_used;
        m_used += bits;
        while (m_used >= 8) {
            m_out.append(char(m_acc & 0xff));
            m_acc >>= 8;
            m_used -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_used > 0)
            m_out.append(char(m_acc & 0xff));
        m_acc = 0;
        m_used = 0;
        return m_out;
    }

private:
    QByteArray m_out;
    quint32 m_acc = 0;
    int m_used = 0;
};

void PutWord(QByteArray& out, int value)
{
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}

// Exponent N of a table of 2^(N+1) entries that holds count colours.
int TableBits(qsizetype count)
{
    int bits = 1;
    while ((qsizetype(1) << bits) < count)
        ++bits;
    return bits;
}

void PutColorTable(QByteArray& out, const QList<QRgb>& colors)
{
    const int size = 1 << TableBits(colors.size());
    for (int i = 0; i < size; ++i) {
        const QRgb c = i < colors.size() ? colors[i] : 0;
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
}

void PutSubBlocks(QByteArray& out, const QByteArray& data)
{
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const qsizetype n = std::min<qsizetype>(255, data.size() - at);
        out.append(char(n));
        out.append(data.constData() + at, n);
    }
    out.append('\0');
}

bool Valid(const Animation& a)
{
    if (a.width <= 0 || a.height <= 0 || a.width > 0xffff || a.height > 0xffff || a.frames.empty())
        return false;
    if (a.globalColors.size() > 256)
        return false;
    for (const Frame& f : a.frames) {
        const QImage& img = f.image;
        if (img.format() != QImage::Format_Indexed8 || img.isNull())
            return false;
        const QList<QRgb> table = img.colorTable();
        const qsizetype colors = table.isEmpty() ? a.globalColors.size() : table.size();
        if (colors == 0 || colors > 256 || f.transparent >= colors)
            return false;
        if (f.offset.x() < 0 || f.offset.y() < 0 || f.offset.x() + img.width() > a.width ||
            f.offset.y() + img.height() > a.height)
            return false;
        if (f.delay < 0 || f.delay > 0xffff || f.disposal < 0 || f.disposal > 3)
            return false;
        for (int y = 0; y < img.height(); ++y) {
            const uchar* row = img.constScanLine(y);
            for (int x = 0; x < img.width(); ++x)
                if (row[x] >= colors)
                    return false;
        }
    }
    return true;
}

}  // namespace

QByteArray LzwCompress(const uchar* indices, qsizetype count, int minCodeSize)
{
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    BitWriter bits;
    int codeBits = minCodeSize + 1;
    int next = end + 1;
    // (prefix code << 8 | byte) -> code
    std::unordered_map<quint32, int> table;
    table.reserve(kMaxCodes * 2);

    bits.put(clear, codeBits);
    if (count == 0) {
        bits.put(end, codeBits);
        return bits.finish();
    }
    int current = indices[0];
    for (qsizetype i = 1; i < count; ++i) {
        const uchar c = indices[i];
        const quint32 key = quint32(current) << 8 | c;
        const auto found = table.find(key);
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        bits.put(current, codeBits);
        // The reader widens its codes once its table reaches the next power
        // of two; it runs one entry behind us, so we widen before adding.
        if (next >= (1 << codeBits) && codeBits < 12)
            ++codeBits;
        if (next < kMaxCodes - 1) {
            table.emplace(key, next++);
        } else {
            bits.put(clear, codeBits);
            table.clear();
            codeBits = minCodeSize + 1;
            next = end + 1;
        }
        current = c;
    }
    bits.put(current, codeBits);
    if (next >= (1 << codeBits) && codeBits < 12)
        ++codeBits;
    bits.put(end, codeBits);
    return bits.finish();
}

QByteArray Encode(const Animation& a)
{
    if (!Valid(a))
        return {};
    QByteArray out("GIF89a");
    PutWord(out, a.width);
    PutWord(out, a.height);
    if (!a.globalColors.isEmpty()) {
        const int n = TableBits(a.globalColors.size()) - 1;
        out.append(char(0x80 | 7 << 4 | n));
        out.append(char(a.backgroundIndex < a.globalColors.size() ? a.backgroundIndex : 0));
        out.append('\0');
        PutColorTable(out, a.globalColors);
    } else {
        out.append(char(7 << 4));
        out.append('\0');
        out.append('\0');
    }
    if (a.loops >= 0) {
        out.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
        PutWord(out, a.loops);
        out.append('\0');
    }
    for (const Frame& f : a.frames) {
        out.append("\x21\xf9\x04", 3);
        out.append(char(f.disposal << 2 | (f.transparent >= 0 ? 1 : 0)));
        PutWord(out, f.delay);
        out.append(char(f.transparent >= 0 ? f.transparent : 0));
        out.append('\0');

        const QList<QRgb> table = f.image.colorTable();
        const bool local = !table.isEmpty() && table != a.globalColors;
        const qsizetype colors = local || a.globalColors.isEmpty() ? table.size() : a.globalColors.size();
        out.append(',');
        PutWord(out, f.offset.x());
        PutWord(out, f.offset.y());
        PutWord(out, f.image.width());
        PutWord(out, f.image.height());
        if (local) {
            out.append(char(0x80 | (TableBits(table.size()) - 1)));
            PutColorTable(out, table);
        } else {
            out.append('\0');
        }
        const int minCodeSize = std::max(2, TableBits(colors));
        out.append(char(minCodeSize));
        QByteArray indices;
        indices.reserve(qsizetype(f.image.width()) * f.image.height());
        for (int y = 0; y < f.image.height(); ++y)
            indices.append(reinterpret_cast<const char*>(f.image.constScanLine(y)), f.image.width());
        PutSubBlocks(out, LzwCompress(reinterpret_cast<const uchar*>(indices.constData()), indices.size(), minCodeSize));
    }
    out.append(';');
    return out;
}

}  // namespace gif
