// CRC-32 table steps (reflected polynomial 0xEDB88320) without the standard
// CRC's inversions, as the random pool's keyboard and mouse hooks use them.
// The standard CRC-32 is crypto/crc32.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kx {

// Table steps over the bytes from crc, with no inversion before or after.
std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size);

}  // namespace kx
