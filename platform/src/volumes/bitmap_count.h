// Free clusters are the clear bits of an allocation bitmap: up to 16 MiB
// of it for a 512 GiB NTFS volume, counted on every free-space question.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win::detail {

// The clear bits of bytes bytes at p, at any alignment.
std::uint64_t countClearBits(const std::uint8_t* p, std::size_t bytes);

}  // namespace win::detail
