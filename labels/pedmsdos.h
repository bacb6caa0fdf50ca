// The appliance's MBR label on libparted: a disk type of our own, the only
// one registered, with the placement, system ids, sector 0 layout and
// reading rules of the appliance's disks.
#pragma once

#include <parted/parted.h>

#include <cstdint>

#include "kx/kx.h"

namespace kx {

struct PedDevice;
struct PedPartFs;

// Per-partition data of the label (libparted's disk_specific).
struct MsdosPartitionData {
    ::PedPartition* part = nullptr;  // back to the partition
    unsigned char system = 0;        // MBR system id
    int boot = 0, hidden = 0, raid = 0, lvm = 0, lba = 0, palo = 0, prep = 0;
    bool has_orig = false;           // dynamic-disk (0x42) partitions keep their first geometry
    std::int64_t orig_start = 0, orig_length = 0;
    PedDevice* dev = nullptr;        // the partition's own device record, once Windows shows it
    PedPartFs* fs = nullptr;         // primary and logical partitions
    PedWinPart winpart{};            // the API's record; its address identifies the partition
};

// Per-disk data of the label (libparted's disk_specific).
struct MsdosDiskData {
    std::int64_t size = 0;  // device bytes when the record was made
    int marked = 0;         // sector 0 carried the 0xFF marker when read
};

MsdosPartitionData* partData(const ::PedPartition* part);
MsdosDiskData* diskData(const ::PedDisk* disk);
// The partition whose embedded record this is (no lookup: the record lives
// inside the partition's data).
::PedPartition* partitionOf(PedWinPart* winpart);
// The whole-disk device record of a table.
PedDevice* deviceOf(const ::PedDisk* disk);

// Registers the label and removes libparted's own labels; once per process.
int ped_disk_msdos_init();

// Maker functions (also exported with C linkage, see kx_exports.cpp).
int createPartition(::PedDisk* disk, ::PedPartitionType type, int code, std::uint64_t start, std::uint64_t end);
int deletePartition(::PedPartition* part);

::PedDisk* ped_disk_probe(PedDevice* dev);
int ped_disk_delete_all(::PedDisk* disk);

struct FreeSpace {
    std::uint64_t bytes = 0;
    std::uint64_t start = 0;  // sector
    std::uint64_t limit = 0;  // sector
};
// area 0 or 2: the primary area; 1: inside the extended partition.
FreeSpace ped_disk_query_free(const ::PedDisk* disk, int area);

// Top-level walk without libparted's free-space and metadata entries.
::PedPartition* nextTopLevel(const ::PedDisk* disk, const ::PedPartition* after);
::PedPartition* nextLogical(const ::PedDisk* disk, const ::PedPartition* after);

}  // namespace kx
