// A small FAT formatter for volumes the library writes itself (the inside
// of a private volume): boot sector, FSInfo and backup for FAT32, two FATs,
// an empty root directory holding the label. Layout after Microsoft's
// published FAT description.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace kx::fat {

inline constexpr std::uint32_t sectorSize = 512;

struct Layout {
    int bits = 16;  // 12, 16 or 32, as the cluster count decides
    std::uint64_t totalSectors = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t fatSectors = 0;  // one FAT
    std::uint32_t rootEntries = 0; // 0 for FAT32
    std::uint32_t clusters = 0;

    std::uint32_t rootDirSectors() const { return rootEntries * 32 / sectorSize; }
    std::uint64_t firstDataSector() const { return reservedSectors + 2ull * fatSectors + rootDirSectors(); }
    // Sectors the format writes, from sector 0.
    std::uint64_t writtenSectors() const { return firstDataSector() + (bits == 32 ? sectorsPerCluster : 0); }
};

// The layout of a FAT (FAT12 or FAT16 by size) or FAT32 volume of
// totalSectors, with clusterBytes a cluster (0: the usual default for the
// size). None when the volume is too small or too large for the kind, or
// the cluster size is not a power of two from 512 to 32 KiB.
std::optional<Layout> plan(bool fat32, std::uint64_t totalSectors, std::uint32_t clusterBytes);

struct Identity {
    std::string label;        // system code page; up to 11 bytes are kept
    std::uint32_t volumeId = 0;
};

// Receives whole sectors, the first numbered firstSector.
using SectorSink = std::function<bool(std::uint64_t firstSector, std::span<const std::uint8_t> sectors)>;

// Writes the file system's sectors in order; false when the sink failed.
[[nodiscard]] bool write(const Layout& layout, const Identity& identity, const SectorSink& sink);

// The 11-byte label field: upper case, characters a short name may not
// hold replaced by '_', padded with blanks; "NO NAME    " when empty.
std::string labelField(const std::string& label);

}  // namespace kx::fat
