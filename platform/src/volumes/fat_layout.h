// Where the parts of a FAT12, FAT16 or FAT32 volume lie, from its boot
// sector, with every field checked against the partition.
#pragma once

#include <cstdint>
#include <optional>

namespace win::detail {

class PartitionReader;

struct FatLayout {
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t fatCount = 0;
    std::uint32_t fatSectors = 0;
    std::uint32_t rootEntries = 0;  // FAT12/16 only
    std::uint32_t totalSectors = 0;
    std::uint32_t rootCluster = 0;  // FAT32 only
    std::uint32_t fsInfoSector = 0; // FAT32 only
    std::uint32_t clusters = 0;     // data clusters, numbered from 2
    int bits = 0;                   // 12, 16 or 32

    std::uint64_t clusterBytes() const { return std::uint64_t{sectorsPerCluster} * bytesPerSector; }
    std::uint64_t fatOffset() const { return std::uint64_t{reservedSectors} * bytesPerSector; }
    std::uint64_t rootDirOffset() const { return fatOffset() + std::uint64_t{fatCount} * fatSectors * bytesPerSector; }
    std::uint64_t dataOffset() const;
    std::uint64_t clusterOffset(std::uint32_t cluster) const;
    bool validCluster(std::uint32_t c) const { return c >= 2 && c - 2 < clusters; }
    // The boot sector's extended fields: drive number, boot signature 0x29,
    // serial, label.
    std::size_t extendedBootOffset() const { return bits == 32 ? 64 : 36; }
};

std::optional<FatLayout> parseFatBoot(const std::uint8_t* boot, std::uint64_t partitionLength);

// The FAT entry of a cluster; nothing when it cannot be read.
std::optional<std::uint32_t> fatEntry(const PartitionReader& disk, const FatLayout& layout, std::uint32_t cluster);
// Free clusters counted in the first FAT.
std::optional<std::uint64_t> countFreeClusters(const PartitionReader& disk, const FatLayout& layout);

}  // namespace win::detail
