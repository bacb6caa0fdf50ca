// Shared by the files of the label: the operations libparted calls through
// our disk type, and small helpers over its records.
#pragma once

#include <parted/parted.h>

#include <cstdint>

#include "labels/pedmsdos.h"
#include "labels/pedmsdos_sector.h"

namespace kx::msdos {

// Our disk type ("msdos").
::PedDiskType* diskType();

// Disk operations.
int probe(const ::PedDevice* dev);
int clobber(::PedDevice* dev);
::PedDisk* alloc(const ::PedDevice* dev);
::PedDisk* duplicate(const ::PedDisk* disk);
void free(::PedDisk* disk);
int read(::PedDisk* disk);
int write(const ::PedDisk* disk);
int diskSetFlag(::PedDisk* disk, ::PedDiskFlag flag, int state);
int diskGetFlag(const ::PedDisk* disk, ::PedDiskFlag flag);
int diskIsFlagAvailable(const ::PedDisk* disk, ::PedDiskFlag flag);
int allocMetadata(::PedDisk* disk);
int maxPrimaryCount(const ::PedDisk* disk);
bool maxSupportedCount(const ::PedDisk* disk, int* supported);
::PedAlignment* partitionAlignment(const ::PedDisk* disk);
::PedSector maxLength();
::PedSector maxStartSector();

// Partition operations.
::PedPartition* partitionNew(const ::PedDisk* disk, ::PedPartitionType type, const ::PedFileSystemType* fsType,
                             ::PedSector start, ::PedSector end);
::PedPartition* partitionDuplicate(const ::PedPartition* part);
void partitionDestroy(::PedPartition* part);
int partitionSetSystem(::PedPartition* part, const ::PedFileSystemType* fsType);
int partitionSetFlag(::PedPartition* part, ::PedPartitionFlag flag, int state);
int partitionGetFlag(const ::PedPartition* part, ::PedPartitionFlag flag);
int partitionIsFlagAvailable(const ::PedPartition* part, ::PedPartitionFlag flag);
void partitionSetName(::PedPartition* part, const char* name);
const char* partitionGetName(const ::PedPartition* part);
int partitionAlign(::PedPartition* part, const ::PedConstraint* constraint);
int partitionEnumerate(::PedPartition* part);
bool partitionCheck(const ::PedPartition* part);

// The system id the rules give a partition from its flags and file-system
// record (the hidden flag is dropped on the way).
std::uint8_t systemIdFor(MsdosPartitionData* data, bool extended);
// Flags implied by a system id read from a disk.
void flagsFromSystemId(MsdosPartitionData* data, std::uint8_t id);

// Helpers.
std::uint32_t sectorSize(const ::PedDisk* disk);
std::uint64_t deviceBytes(const ::PedDisk* disk);
mbr::ChsGeometry chsGeometry(const ::PedDisk* disk);
const char* pathOf(const ::PedDisk* disk);
bool readSector(const ::PedDisk* disk, std::uint64_t lba, std::uint8_t* out);
inline bool isActive(const ::PedPartition* part)
{
    return part && !(part->type & (PED_PARTITION_FREESPACE | PED_PARTITION_METADATA));
}

}  // namespace kx::msdos
