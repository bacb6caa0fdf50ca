#include "format/fat_label_write.h"

#include <unistd.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "volumes/fat_layout.h"
#include "volumes/partition_reader.h"

namespace win::detail {

namespace {

bool writeAt(int fd, std::uint64_t at, const void* data, std::size_t size)
{
    return ::pwrite(fd, data, size, static_cast<off_t>(at)) == static_cast<ssize_t>(size);
}

void put16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::vector<std::uint8_t> labelEntry(const std::string& field)
{
    std::vector<std::uint8_t> e(32, 0);
    std::memcpy(e.data(), field.data(), 11);
    if (e[0] == 0xE5)
        e[0] = 0x05;  // 0xE5 would mark the entry deleted
    e[11] = 0x08;
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    const auto time = static_cast<std::uint16_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    const auto date = static_cast<std::uint16_t>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
    put16(&e[22], time);
    put16(&e[24], date);
    return e;
}

// The first unused entry of the root directory's first cluster or region.
std::optional<std::uint64_t> freeRootEntry(const PartitionReader& volume, const FatLayout& f)
{
    const std::uint64_t at = f.bits == 32 ? f.clusterOffset(f.rootCluster) : f.rootDirOffset();
    const std::uint64_t size = f.bits == 32 ? f.clusterBytes() : std::uint64_t{f.rootEntries} * 32;
    std::vector<std::uint8_t> dir(size);
    if (!volume.read(at, dir.data(), dir.size()))
        return std::nullopt;
    for (std::size_t i = 0; i + 32 <= dir.size(); i += 32)
        if (dir[i] == 0x00 || dir[i] == 0xE5)
            return at + i;
    return std::nullopt;
}

}  // namespace

bool writeFatLabel(int fd, std::uint64_t volumeBytes, const std::string& field)
{
    const PartitionReader volume(fd, 0, volumeBytes);
    std::uint8_t boot[512];
    if (field.size() != 11 || !volume.read(0, boot, sizeof boot))
        return false;
    auto layout = parseFatBoot(boot, volumeBytes);
    if (!layout)
        return false;
    const std::size_t labelAt = layout->extendedBootOffset() + 7;
    if (boot[layout->extendedBootOffset() + 2] == 0x29) {
        std::vector<std::uint64_t> copies{0};
        const std::uint16_t backup = le16(boot + 50);
        if (layout->bits == 32 && backup != 0 && backup < layout->reservedSectors)
            copies.push_back(std::uint64_t{backup} * layout->bytesPerSector);
        for (const auto at : copies)
            if (!writeAt(fd, at + labelAt, field.data(), 11))
                return false;
    }
    auto entry = freeRootEntry(volume, *layout);
    const auto bytes = labelEntry(field);
    return entry && writeAt(fd, *entry, bytes.data(), bytes.size());
}

}  // namespace win::detail
