// What file system a partition holds, its label and sizes, read from the
// volume itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace win::detail {

class PartitionReader;

struct VolumeFacts {
    std::string fileSystem;  // "NTFS", "FAT", "FAT32"
    std::string label;       // UTF-8
    std::uint32_t serial = 0;
    std::uint64_t totalBytes = 0;
    std::optional<std::uint64_t> freeBytes;  // when the volume says
};

// fd reads the disk; offset and length give the partition. No answer for a
// RAW volume, or one whose structures do not hold together: nothing read
// from the disk is trusted before it is checked. Counting free space reads
// the whole allocation map, so it is done only when asked for.
std::optional<VolumeFacts> probeVolume(int fd, std::uint64_t offset, std::uint64_t length, bool countFree);
// The same through any view of the volume's bytes.
std::optional<VolumeFacts> probeVolume(const PartitionReader& volume, bool countFree);

// One file system each, given the partition and its first sector.
std::optional<VolumeFacts> probeNtfs(const PartitionReader& disk, const std::uint8_t* boot, bool countFree);
std::optional<VolumeFacts> probeFat(const PartitionReader& disk, const std::uint8_t* boot, bool countFree);

}  // namespace win::detail
