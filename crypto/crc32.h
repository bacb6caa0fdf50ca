// The standard CRC-32 (reflected polynomial 0xEDB88320, inverted before and
// after), as the volume header keeps over its key area.
#pragma once

#include <cstdint>
#include <span>

namespace kx::crypto {

std::uint32_t crc32(std::span<const std::uint8_t> data);

// The table steps alone, from crc, with no inversion before or after.
std::uint32_t crc32Steps(std::uint32_t crc, std::span<const std::uint8_t> data);

}  // namespace kx::crypto
