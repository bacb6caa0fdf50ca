// The chain of extended boot records inside an extended partition: reading
// it safely from untrusted bytes, and laying it out for writing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "labels/pedmsdos_sector.h"

namespace kx::mbr {

// Logical partitions carry numbers 5 and up; the label offers 64 in all.
inline constexpr int kMaxPartitions = 64;
inline constexpr int kMaxLogical = kMaxPartitions - 4;

struct Logical {
    std::uint64_t start = 0;  // absolute sectors
    std::uint64_t end = 0;
    std::uint8_t system = 0;
    bool boot = false;
};

// Reads one absolute sector; false when it cannot be read.
using SectorReader = std::function<bool(std::uint64_t lba, std::uint8_t* out)>;
// Receives the text of a message line (without the line feed).
using Reporter = std::function<void(const std::string& line)>;

enum class ChainStatus { Ok, ReadFailed, Invalid };

// Follows the chain from the extended partition's first sector. A link back
// to a record already visited ends the chain with the recursive-partition
// message; a record without the boot signature ends it too (0xF6 0xF6 is
// the customary empty record). A link outside the extended partition, more
// logical partitions than numbers or more records than twice the numbers
// are invalid.
ChainStatus readChain(std::uint64_t extStart, std::uint64_t extEnd, const char* path, const SectorReader& read,
                      const Reporter& report, std::vector<Logical>& out);

struct EbrWrite {
    std::uint64_t sector = 0;
    Sector bytes{};
};

// The records to write for the logical partitions (sorted by start). The
// first record sits at the extended partition's start, each further one in
// the sector before its partition. With no logical partitions, one empty
// record at the start cuts off any old chain. False (why set) when a record
// has no room.
bool planChain(std::uint64_t extStart, std::uint64_t extEnd, const std::vector<Logical>& logicals,
               ChsGeometry geometry, std::vector<EbrWrite>& out, std::string* why);

}  // namespace kx::mbr
