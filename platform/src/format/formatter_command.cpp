#include "format/formatter_command.h"

namespace win::detail {

namespace {

constexpr std::uint32_t kSectorSize = 512;
// mkfs.fat picks FAT32 from here on; Windows' FAT means FAT12 or FAT16.
constexpr std::uint64_t kFat16From = 512ull << 20;

bool powerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

FormatterCommand mkntfs(const VolumePlacement& where, std::uint32_t clusterSize, const std::string& label,
                        const std::string& file)
{
    // Quick whatever was asked: the file starts as zeros, so the tool's own
    // zeroing would only fill the disk; a full format zeroes the partition
    // itself.
    FormatterCommand c{"mkntfs",
                       {"-F", "-Q", "-v", "-s", std::to_string(kSectorSize), "-p", std::to_string(where.hiddenSectors),
                        "-H", std::to_string(where.heads), "-S", std::to_string(where.sectorsPerTrack)},
                       30};
    if (clusterSize)
        c.args.insert(c.args.end(), {"-c", std::to_string(clusterSize)});
    if (!label.empty())
        c.args.insert(c.args.end(), {"-L", label});
    c.args.push_back(file);  // an absolute path: never taken for an option
    return c;
}

FormatterCommand mkfsFat(machine::FileSystemKind kind, const VolumePlacement& where, std::uint32_t clusterSize,
                         const std::string& file)
{
    // The label is written afterwards in the OEM code page, which mkfs.fat
    // cannot be told.
    FormatterCommand c{"mkfs.fat",
                       {"-v", "--mbr=n", "-D", "0x80", "-M", "0xF8", "-S", std::to_string(kSectorSize), "-h",
                        std::to_string(where.hiddenSectors), "-g",
                        std::to_string(where.heads) + "/" + std::to_string(where.sectorsPerTrack)},
                       10};
    if (kind == machine::FileSystemKind::Fat32)
        c.args.insert(c.args.end(), {"-F", "32"});
    else if (where.bytes >= kFat16From)
        c.args.insert(c.args.end(), {"-F", "16"});
    if (clusterSize)
        c.args.insert(c.args.end(), {"-s", std::to_string(clusterSize / kSectorSize)});
    c.args.push_back(file);
    return c;
}

}  // namespace

FormatterCommand formatterCommand(machine::FileSystemKind kind, const VolumePlacement& where,
                                  std::uint32_t clusterSize, const std::string& label, const std::string& file,
                                  std::string* why)
{
    const bool ntfs = kind == machine::FileSystemKind::Ntfs;
    const std::uint32_t largest = ntfs ? 2u << 20 : 64u << 10;
    if (clusterSize != 0 && (!powerOfTwo(clusterSize) || clusterSize < kSectorSize || clusterSize > largest)) {
        *why = "cluster size " + std::to_string(clusterSize) + " is not a power of two from 512 to " +
               std::to_string(largest) + " bytes";
        return {};
    }
    if (where.bytes < (1u << 20)) {
        *why = "the partition is too small to format";
        return {};
    }
    return ntfs ? mkntfs(where, clusterSize, label, file) : mkfsFat(kind, where, clusterSize, file);
}

}  // namespace win::detail
