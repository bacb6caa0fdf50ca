// Where a file or device holds data, in whole units, and the wiping of a
// scratch file's data before it goes.
#pragma once

#include <cstdint>
#include <vector>

namespace win::detail {

inline constexpr std::uint64_t kDataUnit = 512;

struct UnitRange {
    std::uint64_t begin, end;
};

// Whole units of fd's data extents inside [from, from + length), relative to
// from. Where the descriptor cannot say (a block device refuses SEEK_DATA),
// every unit is taken to hold data.
std::vector<UnitRange> dataUnits(int fd, std::uint64_t from, std::uint64_t length);

// Overwrites the data ranges of the first length bytes with zeros and
// flushes them; false when a write failed.
bool wipeDataUnits(int fd, std::uint64_t length);

}  // namespace win::detail
