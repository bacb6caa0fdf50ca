#include "app/core/checksums/Checksums.h"

#include "app/core/checksums/ChecksumEngines.h"

namespace {

const CksumTable& CksumMsbTable()
{
    static const CksumTable table = MakeCksumTable(true);
    return table;
}

}  // namespace

std::uint32_t CalcCrc16(const std::uint8_t* data, std::size_t count)
{
    if (count <= 2)
        return checksum::CalcCrc16Bytewise(0, data, count);
    // The last two steps shift the two states before the end into the high
    // half; everything before them only shapes the 16-bit state.
    const std::uint32_t state = checksum::BestCrc16()(0, data, count - 2);
    return checksum::CalcCrc16Bytewise(state, data + count - 2, 2);
}

CksumTable MakeCksumTable(bool msbFirst)
{
    CksumTable table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t entry = msbFirst ? i << 24 : i;
        for (int bit = 0; bit < 8; ++bit) {
            if (msbFirst)
                entry = (entry & 0x80000000u) ? (entry << 1) ^ 0x04C11DB7u : entry << 1;
            else
                entry = (entry & 1u) ? (entry >> 1) ^ 0xEDB88320u : entry >> 1;
        }
        table[i] = entry;
    }
    return table;
}

std::uint32_t Cksum(const std::uint8_t* data, std::size_t count, const CksumTable& table)
{
    if (table != CksumMsbTable())
        return checksum::CksumBytewise(data, count, table);
    CksumStream stream;
    stream.Add(data, count);
    return stream.Finish();
}

void CksumStream::Add(const std::uint8_t* data, std::size_t count)
{
    state_ = checksum::BestCrc32()(state_, data, count);
    count_ += count;
}

std::uint32_t CksumStream::Finish() const
{
    // The length goes in too, least significant byte first, without zeros.
    std::uint32_t h = state_;
    for (std::uint64_t n = count_; n != 0; n >>= 8) {
        const std::uint8_t byte = static_cast<std::uint8_t>(n);
        h = checksum::Crc32Bytewise(h, &byte, 1);
    }
    return ~h;
}
