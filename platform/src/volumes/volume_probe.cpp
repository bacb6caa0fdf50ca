#include "volumes/volume_probe.h"

#include <cstring>

#include "volumes/partition_reader.h"

namespace win::detail {

std::optional<VolumeFacts> probeVolume(int fd, std::uint64_t offset, std::uint64_t length, bool countFree)
{
    return probeVolume(PartitionReader(fd, offset, length), countFree);
}

std::optional<VolumeFacts> probeVolume(const PartitionReader& disk, bool countFree)
{
    std::uint8_t boot[512];
    if (!disk.read(0, boot, sizeof boot) || boot[510] != 0x55 || boot[511] != 0xAA)
        return std::nullopt;
    if (std::memcmp(boot + 3, "NTFS    ", 8) == 0)
        return probeNtfs(disk, boot, countFree);
    if (std::memcmp(boot + 54, "FAT", 3) == 0 || std::memcmp(boot + 82, "FAT32", 5) == 0)
        return probeFat(disk, boot, countFree);
    return std::nullopt;
}

}  // namespace win::detail
