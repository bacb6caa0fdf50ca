// The fixed raw regions at the start of the appliance's disk that hold its
// firmware and boot record, and the sector of upgrade flags between them.
#pragma once

#include <array>
#include <cstdint>

// Region types; bit (type - 1) of the flag word belongs to types 1 to 4.
enum UpgradeType : int {
    UPGRADE_TYPE_LOADER = 1,
    UPGRADE_TYPE_UBOOT = 2,
    UPGRADE_TYPE_KERNEL = 3,
    UPGRADE_TYPE_ROOTFS = 4,
    UPGRADE_TYPE_MBR = 5,
    UPGRADE_TYPE_GPTSURPLUS = 6,
};

struct UpgradeRegion {
    int nUpgradeType;
    const char* pName;  // also the name of the file extracted for it
    std::uint32_t nSeek;
    std::uint32_t nMaxSize;
};

inline constexpr std::uint32_t kRegionSectorSize = 512;
// Regions above this size move to and from the disk in pieces of it.
inline constexpr std::uint32_t kRegionPieceSize = 0x800000;
inline constexpr std::uint32_t kUpgradeFlagOffset = 0x424400;
inline constexpr std::uint32_t kUpgradeFlagSize = 512;

inline constexpr std::array<UpgradeRegion, 6> kUpgradeRegions = {{
    {UPGRADE_TYPE_LOADER, "loader", 0x4400, 0x400},
    {UPGRADE_TYPE_UBOOT, "uboot", 0x4800, 0x1FC00},
    {UPGRADE_TYPE_KERNEL, "kernel", 0x24400, 0x400000},
    {UPGRADE_TYPE_ROOTFS, "rootfs", 0x824400, 0x2000000},
    {UPGRADE_TYPE_MBR, "mbr", 0, 512},
    {UPGRADE_TYPE_GPTSURPLUS, "gptsurplus", 0x400, 0x3C00},
}};

// Null for a type outside the table.
constexpr const UpgradeRegion* FindUpgradeRegion(int nUpgradeType)
{
    for (const auto& region : kUpgradeRegions)
        if (region.nUpgradeType == nUpgradeType)
            return &region;
    return nullptr;
}

constexpr bool RegionsAreWellFormed()
{
    for (const auto& r : kUpgradeRegions) {
        if (r.nSeek % kRegionSectorSize || r.nMaxSize % kRegionSectorSize)
            return false;  // raw disks move whole sectors only
        if (r.nMaxSize > kRegionPieceSize && r.nMaxSize % kRegionPieceSize)
            return false;  // pieces are always full
    }
    return true;
}
static_assert(RegionsAreWellFormed());
static_assert(FindUpgradeRegion(UPGRADE_TYPE_KERNEL)->nSeek + FindUpgradeRegion(UPGRADE_TYPE_KERNEL)->nMaxSize ==
              kUpgradeFlagOffset);
static_assert(kUpgradeFlagOffset + kUpgradeFlagSize <= FindUpgradeRegion(UPGRADE_TYPE_ROOTFS)->nSeek);
