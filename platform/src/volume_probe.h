// What file system a partition holds, read from its boot sector.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace win::detail {

struct VolumeFacts {
    std::string fileSystem;  // "NTFS", "FAT", "FAT32"
    std::string label;       // from the boot sector (FAT); NTFS keeps it elsewhere
    std::uint32_t serial = 0;
    std::uint64_t totalBytes = 0;
    std::optional<std::uint64_t> freeBytes;  // when the volume says
};

// fd reads the disk; offset and length give the partition. No answer for a
// RAW volume or a boot sector whose fields do not hold together.
std::optional<VolumeFacts> probeVolume(int fd, std::uint64_t offset, std::uint64_t length);

}  // namespace win::detail
