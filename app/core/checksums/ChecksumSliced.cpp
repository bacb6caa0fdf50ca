// The table engines: one byte a step, and sixteen bytes a step through
// sixteen tables (table k holds what a byte adds when k zero bytes follow).
#include <array>

#include "app/core/checksums/ChecksumEngines.h"

namespace checksum {

namespace {

template <typename Entry, int Width>
constexpr std::array<std::array<Entry, 256>, 16> MakeSlices(std::uint32_t poly)
{
    constexpr std::uint32_t kTop = 1u << (Width - 1);
    constexpr std::uint32_t kMask = Width == 32 ? 0xFFFFFFFFu : (1u << Width) - 1;
    std::array<std::array<Entry, 256>, 16> slices{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << (Width - 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & kTop) ? (crc << 1) ^ poly : crc << 1;
        slices[0][i] = static_cast<Entry>(crc & kMask);
    }
    for (int k = 1; k < 16; ++k)
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t prev = slices[k - 1][i];
            slices[k][i] = static_cast<Entry>(((prev << 8) ^ slices[0][prev >> (Width - 8)]) & kMask);
        }
    return slices;
}

constexpr auto kCrc32 = MakeSlices<std::uint32_t, 32>(0x04C11DB7u);
constexpr auto kCrc16 = MakeSlices<std::uint16_t, 16>(0x1021u);
static_assert(kCrc32[0][1] == 0x04C11DB7u && kCrc32[0][255] == 0xB1F740B4u);
static_assert(kCrc16[0][1] == 0x1021 && kCrc16[0][3] == 0x3063 && kCrc16[0][255] == 0x1EF0);

}  // namespace

std::uint32_t Crc32Bytewise(std::uint32_t state, const std::uint8_t* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        state = (state << 8) ^ kCrc32[0][(state >> 24) ^ data[i]];
    return state;
}

std::uint16_t Crc16Bytewise(std::uint16_t state, const std::uint8_t* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        state = static_cast<std::uint16_t>((state << 8) ^ kCrc16[0][(state >> 8) ^ data[i]]);
    return state;
}

std::uint32_t Crc32Sliced(std::uint32_t state, const std::uint8_t* data, std::size_t count)
{
    const auto& t = kCrc32;
    for (; count >= 16; count -= 16, data += 16) {
        // The register adds into the first four bytes.
        const std::uint32_t w = state ^ (std::uint32_t{data[0]} << 24 | std::uint32_t{data[1]} << 16 |
                                         std::uint32_t{data[2]} << 8 | data[3]);
        state = t[15][w >> 24] ^ t[14][(w >> 16) & 0xFF] ^ t[13][(w >> 8) & 0xFF] ^ t[12][w & 0xFF] ^
                t[11][data[4]] ^ t[10][data[5]] ^ t[9][data[6]] ^ t[8][data[7]] ^ t[7][data[8]] ^ t[6][data[9]] ^
                t[5][data[10]] ^ t[4][data[11]] ^ t[3][data[12]] ^ t[2][data[13]] ^ t[1][data[14]] ^
                t[0][data[15]];
    }
    return Crc32Bytewise(state, data, count);
}

std::uint16_t Crc16Sliced(std::uint16_t state, const std::uint8_t* data, std::size_t count)
{
    const auto& t = kCrc16;
    for (; count >= 16; count -= 16, data += 16)
        state = static_cast<std::uint16_t>(
            t[15][data[0] ^ (state >> 8)] ^ t[14][data[1] ^ (state & 0xFF)] ^ t[13][data[2]] ^ t[12][data[3]] ^
            t[11][data[4]] ^ t[10][data[5]] ^ t[9][data[6]] ^ t[8][data[7]] ^ t[7][data[8]] ^ t[6][data[9]] ^
            t[5][data[10]] ^ t[4][data[11]] ^ t[3][data[12]] ^ t[2][data[13]] ^ t[1][data[14]] ^ t[0][data[15]]);
    return Crc16Bytewise(state, data, count);
}

std::uint32_t CalcCrc16Bytewise(std::uint32_t acc, const std::uint8_t* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        acc = (acc << 8) ^ kCrc16[0][((acc >> 8) & 0xFF) ^ data[i]];
    return acc;
}

std::uint32_t CksumBytewise(const std::uint8_t* data, std::size_t count, const CksumTable& table)
{
    std::uint32_t h = 0;
    for (std::size_t i = 0; i < count; ++i)
        h = (h << 8) ^ table[(h >> 24) ^ data[i]];
    // The length goes in too, least significant byte first, without zeros.
    for (std::uint64_t n = count; n != 0; n >>= 8)
        h = (h << 8) ^ table[(h >> 24) ^ (n & 0xFF)];
    return ~h;
}

}  // namespace checksum
