#include "volume_probe.h"

#include <unistd.h>

#include <cstring>
#include <vector>

namespace win::detail {

namespace {

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16); }
std::uint64_t le64(const std::uint8_t* p) { return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32); }

bool readAt(int fd, std::uint64_t at, void* out, std::size_t size)
{
    return ::pread(fd, out, size, static_cast<off_t>(at)) == static_cast<ssize_t>(size);
}

std::string fatText(const std::uint8_t* p, std::size_t n)
{
    std::string s(reinterpret_cast<const char*>(p), n);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s == "NO NAME" ? std::string() : s;
}

std::optional<VolumeFacts> probeNtfs(const std::uint8_t* b, std::uint64_t length)
{
    const std::uint16_t bytesPerSector = le16(b + 11);
    const std::uint64_t sectors = le64(b + 40);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || sectors * bytesPerSector > length)
        return std::nullopt;
    VolumeFacts f;
    f.fileSystem = "NTFS";
    f.serial = le32(b + 72);
    f.totalBytes = sectors * bytesPerSector;
    return f;
}

// Free clusters of a FAT12/16 volume: zero entries in the first FAT.
std::optional<std::uint64_t> countFreeFat16(int fd, std::uint64_t fatAt, std::uint32_t clusters, bool fat12)
{
    const std::uint64_t bytes = fat12 ? (clusters + 2) * 3 / 2 + 1 : (clusters + 2) * 2ull;
    std::vector<std::uint8_t> fat(bytes);
    if (!readAt(fd, fatAt, fat.data(), fat.size()))
        return std::nullopt;
    std::uint64_t free = 0;
    for (std::uint32_t c = 2; c < clusters + 2; ++c) {
        std::uint16_t v;
        if (fat12) {
            const std::uint16_t pair = le16(&fat[c * 3 / 2]);
            v = (c & 1) ? pair >> 4 : pair & 0x0FFF;
        } else {
            v = le16(&fat[c * 2]);
        }
        free += v == 0;
    }
    return free;
}

std::optional<VolumeFacts> probeFat(int fd, std::uint64_t offset, const std::uint8_t* b, std::uint64_t length)
{
    const std::uint16_t bytesPerSector = le16(b + 11);
    const std::uint8_t perCluster = b[13];
    const std::uint16_t reserved = le16(b + 14);
    const std::uint8_t fats = b[16];
    const std::uint16_t rootEntries = le16(b + 17);
    const std::uint32_t total = le16(b + 19) ? le16(b + 19) : le32(b + 32);
    const std::uint32_t fatSize = le16(b + 22) ? le16(b + 22) : le32(b + 36);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || perCluster == 0 || fats == 0 || reserved == 0 ||
        static_cast<std::uint64_t>(total) * bytesPerSector > length)
        return std::nullopt;
    const std::uint32_t rootSectors = (rootEntries * 32u + bytesPerSector - 1) / bytesPerSector;
    const std::uint64_t meta = reserved + static_cast<std::uint64_t>(fats) * fatSize + rootSectors;
    if (meta >= total)
        return std::nullopt;
    const auto clusters = static_cast<std::uint32_t>((total - meta) / perCluster);
    const std::uint64_t clusterBytes = static_cast<std::uint64_t>(perCluster) * bytesPerSector;
    const bool fat32 = le16(b + 22) == 0;
    VolumeFacts f;
    f.fileSystem = fat32 ? "FAT32" : "FAT";
    f.totalBytes = static_cast<std::uint64_t>(clusters) * clusterBytes;
    const std::uint8_t* ext = b + (fat32 ? 64 : 36);  // drive number, reserved, boot signature 0x29
    if (ext[2] == 0x29) {
        f.serial = le32(ext + 3);
        f.label = fatText(ext + 7, 11);
    }
    if (fat32) {
        std::uint8_t info[512];
        const std::uint64_t infoAt = offset + static_cast<std::uint64_t>(le16(b + 48)) * bytesPerSector;
        if (readAt(fd, infoAt, info, sizeof info) && le32(info) == 0x41615252 && le32(info + 484) == 0x61417272 &&
            le32(info + 488) <= clusters)
            f.freeBytes = le32(info + 488) * clusterBytes;
    } else if (auto free = countFreeFat16(fd, offset + static_cast<std::uint64_t>(reserved) * bytesPerSector, clusters,
                                          clusters < 4085)) {
        f.freeBytes = *free * clusterBytes;
    }
    return f;
}

}  // namespace

std::optional<VolumeFacts> probeVolume(int fd, std::uint64_t offset, std::uint64_t length)
{
    std::uint8_t boot[512];
    if (length < 512 || !readAt(fd, offset, boot, sizeof boot) || boot[510] != 0x55 || boot[511] != 0xAA)
        return std::nullopt;
    if (std::memcmp(boot + 3, "NTFS    ", 8) == 0)
        return probeNtfs(boot, length);
    if (std::memcmp(boot + 54, "FAT", 3) == 0 || std::memcmp(boot + 82, "FAT32", 5) == 0)
        return probeFat(fd, offset, boot, length);
    return std::nullopt;
}

}  // namespace win::detail
