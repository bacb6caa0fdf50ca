// The label's whole-disk operations other than read and write.
#include <cstring>
#include <new>
#include <vector>

#include "labels/pedmsdos_chain.h"
#include "labels/pedmsdos_internal.h"
#include "device/peddevice.h"

namespace kx::msdos {

int probe(const ::PedDevice* dev)
{
    // Every disk is ours: a sector 0 without a table reads as an empty one.
    const PedDevice* ours = fromParted(dev);
    mbr::Sector sector{};
    return ours && ped_device_read(ours, sector.data(), 0, 1) ? 1 : 0;
}

int clobber(::PedDevice* dev)
{
    PedDevice* ours = fromParted(dev);
    mbr::Sector sector{};
    if (!ours || !ped_device_read(ours, sector.data(), 0, 1))
        return 0;
    std::memset(sector.data() + mbr::kEntriesOffset, 0, 4 * mbr::kEntrySize + 2);
    return ped_device_write(ours, sector.data(), 0, 1);
}

::PedDisk* alloc(const ::PedDevice* dev)
{
    auto* data = new (std::nothrow) MsdosDiskData{};
    if (!data)
        return nullptr;
    ::PedDisk* disk = _ped_disk_alloc(dev, diskType());
    if (!disk) {
        delete data;
        return nullptr;
    }
    const PedDevice* ours = fromParted(dev);
    data->size = ours ? ours->size : dev->length * dev->sector_size;
    disk->disk_specific = data;
    return disk;
}

::PedDisk* duplicate(const ::PedDisk* disk)
{
    // A fresh record leaves update mode as libparted's duplicate expects.
    ::PedDisk* copy = ped_disk_new_fresh(disk->dev, diskType());
    if (!copy)
        return nullptr;
    *diskData(copy) = *diskData(disk);
    return copy;
}

void free(::PedDisk* disk)
{
    MsdosDiskData* data = diskData(disk);
    _ped_disk_free(disk);  // destroys the partitions through partitionDestroy
    delete data;
}

int diskSetFlag(::PedDisk*, ::PedDiskFlag, int)
{
    return 0;
}

int diskGetFlag(const ::PedDisk*, ::PedDiskFlag)
{
    return 0;
}

int diskIsFlagAvailable(const ::PedDisk*, ::PedDiskFlag)
{
    return 0;
}

namespace {

bool contains(const ::PedPartition* p, ::PedSector s)
{
    return p->geom.start <= s && s <= p->geom.end;
}

// Sector s is held by no real partition (the extended one counts only for
// top-level entries).
bool sectorFree(const ::PedDisk* disk, ::PedSector s, bool topLevel)
{
    for (const ::PedPartition* p = nextTopLevel(disk, nullptr); p; p = nextTopLevel(disk, p)) {
        const bool extended = p->type & PED_PARTITION_EXTENDED;
        if ((topLevel || !extended) && contains(p, s))
            return false;
    }
    for (const ::PedPartition* l = nextLogical(disk, nullptr); l; l = nextLogical(disk, l)) {
        if (contains(l, s))
            return false;
    }
    return true;
}

void addMetadata(::PedDisk* disk, ::PedPartitionType type, ::PedSector s)
{
    ::PedPartition* meta = partitionNew(disk, type, nullptr, s, s);
    if (meta && !ped_disk_add_partition(disk, meta, nullptr))
        ped_partition_destroy(meta);
}

}  // namespace

int allocMetadata(::PedDisk* disk)
{
    if (disk->dev->length < 1)
        return 1;
    if (sectorFree(disk, 0, true))
        addMetadata(disk, PED_PARTITION_METADATA, 0);
    const ::PedPartition* ext = ped_disk_extended_partition(disk);
    if (!ext)
        return 1;
    // The extended boot records, where the write puts them.
    const auto logicalMeta = static_cast<::PedPartitionType>(PED_PARTITION_METADATA | PED_PARTITION_LOGICAL);
    ::PedSector previousEnd = ext->geom.start - 1;
    bool first = true;
    std::vector<::PedSector> records;
    for (const ::PedPartition* l = nextLogical(disk, nullptr); l; l = nextLogical(disk, l)) {
        const ::PedSector at = first ? ext->geom.start : l->geom.start - 1;
        if (at > previousEnd && at < l->geom.start)
            records.push_back(at);
        previousEnd = l->geom.end;
        first = false;
    }
    if (first)
        records.push_back(ext->geom.start);
    for (::PedSector at : records) {
        if (sectorFree(disk, at, false))
            addMetadata(disk, logicalMeta, at);
    }
    return 1;
}

int maxPrimaryCount(const ::PedDisk*)
{
    return 4;
}

bool maxSupportedCount(const ::PedDisk*, int* supported)
{
    *supported = mbr::kMaxPartitions;
    return true;
}

::PedAlignment* partitionAlignment(const ::PedDisk*)
{
    return ped_alignment_new(0, 1);
}

// The entries hold 32-bit sector numbers.
::PedSector maxLength()
{
    return 0xFFFFFFFFll;
}

::PedSector maxStartSector()
{
    return 0xFFFFFFFFll;
}

}  // namespace kx::msdos
