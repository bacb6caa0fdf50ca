#include "app/core/Checksums.h"

namespace {

constexpr std::array<std::uint16_t, 256> MakeXmodemTable()
{
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kXmodemTable = MakeXmodemTable();
static_assert(kXmodemTable[0] == 0x0000 && kXmodemTable[1] == 0x1021 && kXmodemTable[2] == 0x2042 &&
              kXmodemTable[3] == 0x3063 && kXmodemTable[255] == 0x1EF0);

}  // namespace

std::uint32_t CalcCrc16(const std::uint8_t* data, std::size_t count)
{
    std::uint32_t acc = 0;
    for (std::size_t i = 0; i < count; ++i)
        acc = (acc << 8) ^ kXmodemTable[((acc >> 8) & 0xFF) ^ data[i]];
    return acc;
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
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < count; ++i)
        h = (h << 8) ^ table[(h >> 24) ^ data[i]];
    // The length goes in too, least significant byte first, without zeros.
    for (std::uint64_t n = count; n != 0; n >>= 8)
        h = (h << 8) ^ table[(h >> 24) ^ (n & 0xFF)];
    return ~h;
}
