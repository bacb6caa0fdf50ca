// A FAT volume's label, serial and sizes.
#include <vector>

#include "text/codepage.h"
#include "volumes/fat_layout.h"
#include "volumes/partition_reader.h"
#include "volumes/volume_probe.h"

namespace win::detail {

namespace {

constexpr std::uint8_t kAttrVolumeLabel = 0x08;
constexpr std::uint8_t kAttrLongName = 0x0F;
constexpr std::uint64_t kMaxDirectoryBytes = 65536 * 32;  // a FAT directory holds at most 65536 entries

std::string labelText(std::string bytes)
{
    if (!bytes.empty() && bytes[0] == 0x05)  // a leading 0xE5 byte, escaped
        bytes[0] = static_cast<char>(0xE5);
    while (!bytes.empty() && bytes.back() == ' ')
        bytes.pop_back();
    return wideToUtf8(toWide(bytes, CP_OEMCP));
}

enum class Scan { Found, End, More };

// Looks through a run of directory entries for the volume label.
Scan scanEntries(const std::vector<std::uint8_t>& dir, std::optional<std::string>& label)
{
    for (std::size_t at = 0; at + 32 <= dir.size(); at += 32) {
        const std::uint8_t* e = &dir[at];
        if (e[0] == 0x00)
            return Scan::End;
        if (e[0] == 0xE5 || e[11] == kAttrLongName || !(e[11] & kAttrVolumeLabel) || (e[11] & 0x10))
            continue;
        label = labelText(std::string(reinterpret_cast<const char*>(e), 11));
        return Scan::Found;
    }
    return Scan::More;
}

// The label entry of the root directory; nothing when there is none.
std::optional<std::string> rootLabel(const PartitionReader& disk, const FatLayout& f)
{
    std::optional<std::string> label;
    std::vector<std::uint8_t> dir;
    if (f.bits != 32) {
        dir.resize(std::size_t{f.rootEntries} * 32);
        if (disk.read(f.rootDirOffset(), dir.data(), dir.size()))
            scanEntries(dir, label);
        return label;
    }
    dir.resize(f.clusterBytes());
    std::uint32_t cluster = f.rootCluster;
    // A longer chain than a directory can have loops.
    const std::uint64_t maxSteps = kMaxDirectoryBytes / f.clusterBytes() + 1;
    for (std::uint64_t step = 0; step < maxSteps && f.validCluster(cluster); ++step) {
        if (!disk.read(f.clusterOffset(cluster), dir.data(), dir.size()) || scanEntries(dir, label) != Scan::More)
            break;
        auto next = fatEntry(disk, f, cluster);
        if (!next)
            break;
        cluster = *next;
    }
    return label;
}

std::optional<std::uint64_t> fsInfoFree(const PartitionReader& disk, const FatLayout& f)
{
    std::uint8_t info[512];
    if (f.fsInfoSector == 0 || f.fsInfoSector >= f.reservedSectors ||
        !disk.read(std::uint64_t{f.fsInfoSector} * f.bytesPerSector, info, sizeof info) ||
        le32(info) != 0x41615252 || le32(info + 484) != 0x61417272 || le32(info + 488) > f.clusters)
        return std::nullopt;
    return le32(info + 488);
}

}  // namespace

std::optional<VolumeFacts> probeFat(const PartitionReader& disk, const std::uint8_t* boot, bool countFree)
{
    auto layout = parseFatBoot(boot, disk.length());
    if (!layout)
        return std::nullopt;
    VolumeFacts facts;
    facts.fileSystem = layout->bits == 32 ? "FAT32" : "FAT";
    facts.totalBytes = std::uint64_t{layout->clusters} * layout->clusterBytes();
    const std::uint8_t* ext = boot + layout->extendedBootOffset();
    if (ext[2] == 0x29) {
        facts.serial = le32(ext + 3);
        facts.label = labelText(std::string(reinterpret_cast<const char*>(ext + 7), 11));
        if (facts.label == "NO NAME")
            facts.label.clear();
    }
    if (auto label = rootLabel(disk, *layout))
        facts.label = *label;
    if (!countFree)
        return facts;
    auto free = layout->bits == 32 ? fsInfoFree(disk, *layout) : std::nullopt;
    if (!free)
        free = countFreeClusters(disk, *layout);
    if (free)
        facts.freeBytes = *free * layout->clusterBytes();
    return facts;
}

}  // namespace win::detail
