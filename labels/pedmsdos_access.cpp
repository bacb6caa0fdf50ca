// Access to the label's records and the walks over real partitions.
#include <cstddef>

#include "labels/pedmsdos_internal.h"
#include "device/peddevice.h"

namespace kx {

MsdosPartitionData* partData(const ::PedPartition* part)
{
    if (!part || !part->disk || part->disk->type != msdos::diskType())
        return nullptr;
    return static_cast<MsdosPartitionData*>(part->disk_specific);
}

MsdosDiskData* diskData(const ::PedDisk* disk)
{
    if (!disk || disk->type != msdos::diskType())
        return nullptr;
    return static_cast<MsdosDiskData*>(disk->disk_specific);
}

::PedPartition* partitionOf(PedWinPart* winpart)
{
    if (!winpart)
        return nullptr;
    auto* data = reinterpret_cast<MsdosPartitionData*>(reinterpret_cast<char*>(winpart) -
                                                       offsetof(MsdosPartitionData, winpart));
    return data->part;
}

PedDevice* deviceOf(const ::PedDisk* disk)
{
    return disk ? fromParted(disk->dev) : nullptr;
}

namespace {

::PedPartition* firstReal(::PedPartition* p)
{
    while (p && !msdos::isActive(p))
        p = p->next;
    return p;
}

}  // namespace

::PedPartition* nextTopLevel(const ::PedDisk* disk, const ::PedPartition* after)
{
    if (!disk)
        return nullptr;
    if (!after)
        return firstReal(disk->part_list);
    if (after->type & PED_PARTITION_LOGICAL) {
        // Going on from inside the extended partition means after it.
        const ::PedPartition* ext = ::ped_disk_extended_partition(disk);
        return ext ? firstReal(ext->next) : nullptr;
    }
    return firstReal(after->next);
}

::PedPartition* nextLogical(const ::PedDisk* disk, const ::PedPartition* after)
{
    const ::PedPartition* ext = disk ? ::ped_disk_extended_partition(disk) : nullptr;
    if (!ext)
        return nullptr;
    if (!after)
        return firstReal(ext->part_list);
    if (!(after->type & PED_PARTITION_LOGICAL))
        return nullptr;
    return firstReal(after->next);
}

namespace msdos {

std::uint32_t sectorSize(const ::PedDisk* disk)
{
    if (const PedDevice* dev = deviceOf(disk); dev && dev->sector_size)
        return dev->sector_size;
    if (disk && disk->dev && disk->dev->sector_size > 0)
        return static_cast<std::uint32_t>(disk->dev->sector_size);
    return mbr::kSectorSize;
}

std::uint64_t deviceBytes(const ::PedDisk* disk)
{
    if (const MsdosDiskData* data = diskData(disk); data && data->size > 0)
        return static_cast<std::uint64_t>(data->size);
    if (disk && disk->dev && disk->dev->length > 0)
        return static_cast<std::uint64_t>(disk->dev->length) * sectorSize(disk);
    return 0;
}

mbr::ChsGeometry chsGeometry(const ::PedDisk* disk)
{
    mbr::ChsGeometry g;
    if (disk && disk->dev && disk->dev->bios_geom.heads > 0 && disk->dev->bios_geom.heads <= 255 &&
        disk->dev->bios_geom.sectors > 0 && disk->dev->bios_geom.sectors <= 63) {
        g.heads = disk->dev->bios_geom.heads;
        g.sectors = disk->dev->bios_geom.sectors;
    }
    return g;
}

const char* pathOf(const ::PedDisk* disk)
{
    if (const PedDevice* dev = deviceOf(disk); dev && dev->path)
        return dev->path;
    return disk && disk->dev && disk->dev->path ? disk->dev->path : "";
}

bool readSector(const ::PedDisk* disk, std::uint64_t lba, std::uint8_t* out)
{
    const PedDevice* dev = deviceOf(disk);
    if (!dev || sectorSize(disk) != mbr::kSectorSize)
        return false;
    if (disk->dev->length > 0 && lba >= static_cast<std::uint64_t>(disk->dev->length))
        return false;
    return ped_device_read(dev, out, static_cast<std::int64_t>(lba), 1) != 0;
}

}  // namespace msdos

}  // namespace kx
