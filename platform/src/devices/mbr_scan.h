// The kernel's reading of an MBR disk: primary entries and the extended
// boot record chain, as the partitions Windows would publish.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace machine {

struct ScannedPartition {
    std::uint64_t startSector = 0;
    std::uint64_t sectorCount = 0;
    std::uint32_t hiddenSectors = 0;  // from the table sector that holds the entry
    std::uint8_t type = 0;
    bool boot = false;
};

struct ScannedTable {
    std::uint32_t signature = 0;                // disk signature at byte 440
    std::vector<ScannedPartition> partitions;   // primaries in slot order, then logicals
};

// Reads one 512-byte sector; false when it cannot be read.
using SectorReader = std::function<bool(std::uint64_t sector, std::uint8_t* out)>;

// Entries that reach past the disk, loops in the chain and chains longer than
// Windows follows are cut off rather than trusted.
ScannedTable scanMbr(const SectorReader& read, std::uint64_t diskSectors);

}  // namespace machine
