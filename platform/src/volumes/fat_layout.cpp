#include "volumes/fat_layout.h"

#include <algorithm>
#include <vector>

#include "volumes/partition_reader.h"

namespace win::detail {

namespace {

bool powerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::uint32_t entryAt(const std::uint8_t* fat, std::uint64_t cluster, int bits)
{
    if (bits == 32)
        return le32(fat + cluster * 4) & 0x0FFFFFFF;
    if (bits == 16)
        return le16(fat + cluster * 2);
    const std::uint16_t pair = le16(fat + cluster * 3 / 2);
    return (cluster & 1) ? pair >> 4 : pair & 0x0FFF;
}

std::uint64_t fatBytesFor(std::uint64_t entries, int bits) { return (entries * static_cast<std::uint64_t>(bits) + 7) / 8; }

}  // namespace

std::uint64_t FatLayout::dataOffset() const
{
    const std::uint64_t rootBytes = std::uint64_t{rootEntries} * 32;
    const std::uint64_t rootSectors = (rootBytes + bytesPerSector - 1) / bytesPerSector;
    return rootDirOffset() + rootSectors * bytesPerSector;
}

std::uint64_t FatLayout::clusterOffset(std::uint32_t cluster) const
{
    return dataOffset() + std::uint64_t{cluster - 2} * clusterBytes();
}

std::optional<FatLayout> parseFatBoot(const std::uint8_t* b, std::uint64_t partitionLength)
{
    FatLayout f;
    f.bytesPerSector = le16(b + 11);
    f.sectorsPerCluster = b[13];
    f.reservedSectors = le16(b + 14);
    f.fatCount = b[16];
    f.rootEntries = le16(b + 17);
    f.totalSectors = le16(b + 19) ? le16(b + 19) : le32(b + 32);
    const bool fat32Shape = le16(b + 22) == 0;
    f.fatSectors = fat32Shape ? le32(b + 36) : le16(b + 22);
    if (!powerOfTwo(f.bytesPerSector) || f.bytesPerSector < 512 || f.bytesPerSector > 4096 ||
        !powerOfTwo(f.sectorsPerCluster) || f.reservedSectors == 0 || f.fatCount == 0 || f.fatCount > 4 ||
        f.fatSectors == 0 || f.totalSectors == 0 ||
        std::uint64_t{f.totalSectors} * f.bytesPerSector > partitionLength)
        return std::nullopt;
    const std::uint64_t meta = f.dataOffset() / f.bytesPerSector;
    if (meta >= f.totalSectors)
        return std::nullopt;
    f.clusters = static_cast<std::uint32_t>((f.totalSectors - meta) / f.sectorsPerCluster);
    if (f.clusters == 0)
        return std::nullopt;
    // The shape of the boot sector tells FAT32 apart, as Linux reads it;
    // the cluster count tells FAT12 from FAT16.
    if (fat32Shape) {
        f.bits = 32;
        f.rootCluster = le32(b + 44);
        f.fsInfoSector = le16(b + 48);
        if (f.rootEntries != 0 || !f.validCluster(f.rootCluster) || f.clusters > 0x0FFFFFF5)
            return std::nullopt;
    } else {
        f.bits = f.clusters < 4085 ? 12 : 16;
        if (f.rootEntries == 0 || f.clusters >= 65525)
            return std::nullopt;
    }
    if (fatBytesFor(std::uint64_t{f.clusters} + 2, f.bits) > std::uint64_t{f.fatSectors} * f.bytesPerSector)
        return std::nullopt;
    return f;
}

std::optional<std::uint32_t> fatEntry(const PartitionReader& disk, const FatLayout& layout, std::uint32_t cluster)
{
    if (std::uint64_t{cluster} >= std::uint64_t{layout.clusters} + 2)
        return std::nullopt;
    std::uint8_t bytes[4] = {};
    const std::uint64_t at = layout.bits == 12 ? std::uint64_t{cluster} * 3 / 2 : std::uint64_t{cluster} * layout.bits / 8;
    const std::size_t size = layout.bits == 12 ? 2 : static_cast<std::size_t>(layout.bits / 8);
    if (!disk.read(layout.fatOffset() + at, bytes, size))
        return std::nullopt;
    if (layout.bits == 32)
        return le32(bytes) & 0x0FFFFFFF;
    if (layout.bits == 16)
        return le16(bytes);
    return (cluster & 1) ? le16(bytes) >> 4 : le16(bytes) & 0x0FFF;
}

std::optional<std::uint64_t> countFreeClusters(const PartitionReader& disk, const FatLayout& layout)
{
    // Whole entries per chunk; FAT12 chunks hold an even number of them.
    constexpr std::uint64_t kChunkEntries = 1 << 18;
    std::vector<std::uint8_t> chunk;
    std::uint64_t free = 0;
    const std::uint64_t end = std::uint64_t{layout.clusters} + 2;
    for (std::uint64_t first = 0; first < end; first += kChunkEntries) {
        const std::uint64_t count = std::min(kChunkEntries, end - first);
        const std::uint64_t at = fatBytesFor(first, layout.bits);
        chunk.assign(fatBytesFor(count, layout.bits) + 1, 0);
        if (!disk.read(layout.fatOffset() + at, chunk.data(), chunk.size() - 1))
            return std::nullopt;
        for (std::uint64_t i = first == 0 ? 2 : 0; i < count; ++i)
            free += entryAt(chunk.data(), i, layout.bits) == 0;
    }
    return free;
}

}  // namespace win::detail
