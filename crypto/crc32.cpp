#include "crypto/crc32.h"

#include <array>

namespace kx::crypto {

namespace {

constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto table = makeTable();

}  // namespace

std::uint32_t crc32Steps(std::uint32_t crc, std::span<const std::uint8_t> data)
{
    for (std::uint8_t byte : data)
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::uint32_t crc32(std::span<const std::uint8_t> data) { return ~crc32Steps(0xFFFFFFFFu, data); }

}  // namespace kx::crypto
