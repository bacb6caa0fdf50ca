// Choosing a FAT volume's layout: cluster size, FAT type and FAT size.
#include "fs/fat_writer.h"

namespace kx::fat {

namespace {

constexpr std::uint32_t kMaxSectorsPerCluster = 64;  // 32 KiB
constexpr std::uint64_t kMinFat16Clusters = 4085;
constexpr std::uint64_t kMinFat32Clusters = 65525;
constexpr std::uint64_t kMaxFat32Clusters = 0x0FFFFFF5;

struct SizeRow {
    std::uint64_t upToSectors;
    std::uint32_t sectorsPerCluster;  // 0: the kind does not fit
};

// Microsoft's default cluster sizes by volume size.
constexpr SizeRow kFat16Sizes[] = {{32680, 2},    {262144, 4},   {524288, 8},
                                   {1048576, 16}, {2097152, 32}, {4194304, 64}};
constexpr SizeRow kFat32Sizes[] = {{66600, 0},       {532480, 1},     {16777216, 8},
                                   {33554432, 16},   {67108864, 32},  {~0ull, 64}};

template <std::size_t N>
std::uint32_t defaultSectorsPerCluster(const SizeRow (&rows)[N], std::uint64_t sectors)
{
    for (const SizeRow& row : rows)
        if (sectors <= row.upToSectors)
            return row.sectorsPerCluster;
    return 0;
}

// FAT bytes for the clusters plus the two reserved entries, in sectors.
std::uint64_t fatSectorsFor(std::uint64_t clusters, int bits)
{
    const std::uint64_t bytes = bits == 12 ? ((clusters + 2) * 3 + 1) / 2 : (clusters + 2) * (bits / 8);
    return (bytes + sectorSize - 1) / sectorSize;
}

// Grows the FAT until it covers the clusters left beside it.
bool settle(Layout& l)
{
    std::uint64_t fat = 1;
    for (;;) {
        const std::uint64_t fixed = l.reservedSectors + l.rootDirSectors() + 2 * fat;
        if (fixed >= l.totalSectors)
            return false;
        const std::uint64_t clusters = (l.totalSectors - fixed) / l.sectorsPerCluster;
        const std::uint64_t needed = fatSectorsFor(clusters, l.bits);
        if (needed <= fat) {
            l.fatSectors = static_cast<std::uint32_t>(fat);
            l.clusters = static_cast<std::uint32_t>(clusters);
            return clusters > 0;
        }
        fat = needed;
    }
}

}  // namespace

std::optional<Layout> plan(bool fat32, std::uint64_t totalSectors, std::uint32_t clusterBytes)
{
    Layout l;
    l.totalSectors = totalSectors;
    if (clusterBytes) {
        const std::uint32_t spc = clusterBytes / sectorSize;
        if (clusterBytes % sectorSize || spc > kMaxSectorsPerCluster || (spc & (spc - 1)))
            return std::nullopt;
        l.sectorsPerCluster = spc;
    } else {
        l.sectorsPerCluster = fat32 ? defaultSectorsPerCluster(kFat32Sizes, totalSectors)
                                    : defaultSectorsPerCluster(kFat16Sizes, totalSectors);
    }
    if (!l.sectorsPerCluster)
        return std::nullopt;

    if (fat32) {
        l.bits = 32;
        l.reservedSectors = 32;
        if (!settle(l) || l.clusters < kMinFat32Clusters || l.clusters > kMaxFat32Clusters)
            return std::nullopt;
        return l;
    }
    l.reservedSectors = 1;
    l.rootEntries = 512;
    l.bits = 16;
    if (!settle(l) || l.clusters >= kMinFat32Clusters)
        return std::nullopt;
    if (l.clusters >= kMinFat16Clusters)
        return l;
    // Few clusters make FAT12, whose smaller FAT leaves a few more.
    l.bits = 12;
    if (!settle(l) || l.clusters >= kMinFat16Clusters)
        return std::nullopt;
    return l;
}

}  // namespace kx::fat
