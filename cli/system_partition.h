// Where the format worker's system partition lies. The worker asks for
// 1024 MiB, but the library starts the first partition after the firmware
// regions (64 MiB and a 64-sector gap) and ends it at the 1 GiB the worker
// asked for, so the partition holds about 960 MiB. What orvane tells the
// user is what the table holds.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

inline constexpr std::uint64_t kSystemPartitionStart = 0x20000 + 64;  // 512-byte sectors
inline constexpr std::uint64_t kSystemPartitionEnd = 2097152;         // 1 GiB, the first sector after it

inline constexpr std::uint64_t systemPartitionSectors() { return kSystemPartitionEnd - kSystemPartitionStart; }
// Rounded to the nearest MiB.
inline constexpr std::uint64_t systemPartitionMiB() { return (systemPartitionSectors() + 1024) / 2048; }

// "960 MiB, sectors 131136 to 2097151 (ending at 1 GiB)"
std::string systemPartitionText();

}  // namespace cli
