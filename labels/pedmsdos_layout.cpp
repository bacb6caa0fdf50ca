// The appliance's placement of new partitions, deletion, free space, and
// the table read behind a disk probe.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "labels/pedmsdos_internal.h"
#include "labels/partition_fs.h"
#include "common/kx_message.h"
#include "device/peddevice.h"
#include "platform/win_api.h"

namespace kx {

namespace {

// The first 64 MiB of 512-byte sectors hold the firmware regions.
constexpr std::uint64_t kFirstStart = 0x20000;
constexpr std::uint64_t kGap = 64;

}  // namespace

int createPartition(::PedDisk* disk, ::PedPartitionType type, int code, std::uint64_t start, std::uint64_t end)
{
    if (!disk || !diskData(disk))
        return 0;
    if (type != PED_PARTITION_NORMAL && type != PED_PARTITION_EXTENDED && type != PED_PARTITION_LOGICAL)
        return 0;
    if (start == 0)
        start = kFirstStart;
    start += kGap;
    // libparted asserts on negative or reversed extents rather than failing.
    constexpr auto kMaxSector = static_cast<std::uint64_t>(std::numeric_limits<::PedSector>::max());
    if (start > kMaxSector || end > kMaxSector || end < start)
        return 0;

    ::PedPartition* part = ped_partition_new(disk, type, nullptr, static_cast<::PedSector>(start),
                                             static_cast<::PedSector>(end));
    if (!part)
        return 0;
    if (!ped_disk_add_partition(disk, part, nullptr)) {
        ped_partition_destroy(part);
        return 0;
    }
    if (type == PED_PARTITION_EXTENDED && code == FS_NONE)
        return 1;

    MsdosPartitionData* data = partData(part);
    if (type != PED_PARTITION_EXTENDED) {
        data->fs = partitionFsNew(part, code);
        if (!data->fs) {
            ped_disk_delete_partition(disk, part);
            return 0;
        }
    }
    if (!ped_partition_set_system(part, nullptr)) {
        ped_disk_delete_partition(disk, part);
        return 0;
    }
    if (ped_partition_is_flag_available(part, PED_PARTITION_LBA))
        ped_partition_set_flag(part, PED_PARTITION_LBA, 1);
    return 1;
}

int deletePartition(::PedPartition* part)
{
    if (!part || !part->disk) {
        KX_REPORT(".\\labels\\pedmsdos", "part != NULL");
        return 0;
    }
    // Its device record is freed with it.
    return ped_disk_delete_partition(part->disk, part) ? 1 : 0;
}

int ped_disk_delete_all(::PedDisk* disk)
{
    if (!disk)
        return 0;
    while (::PedPartition* part = nextTopLevel(disk, nullptr)) {
        if (!ped_disk_delete_partition(disk, part))
            return 0;
    }
    return 1;
}

FreeSpace ped_disk_query_free(const ::PedDisk* disk, int area)
{
    FreeSpace result;
    if (!disk)
        return result;
    const std::uint64_t sector = msdos::sectorSize(disk);
    const std::uint64_t bytes = msdos::deviceBytes(disk);
    std::uint64_t used = 0;  // sectors
    std::uint64_t limit = 0;
    std::uint64_t total = 0;  // bytes of the area
    std::uint64_t lastEnd = 0;

    if (area == 1) {
        const ::PedPartition* ext = ped_disk_extended_partition(disk);
        if (!ext)
            return result;
        for (const ::PedPartition* l = nextLogical(disk, nullptr); l; l = nextLogical(disk, l)) {
            used += static_cast<std::uint64_t>(l->geom.length);
            lastEnd = std::max(lastEnd, static_cast<std::uint64_t>(l->geom.end));
        }
        total = static_cast<std::uint64_t>(ext->geom.length) * sector;
        result.start = used ? lastEnd : static_cast<std::uint64_t>(ext->geom.start);
        limit = static_cast<std::uint64_t>(ext->geom.end);
    } else {
        for (const ::PedPartition* p = nextTopLevel(disk, nullptr); p; p = nextTopLevel(disk, p)) {
            if (p->type != PED_PARTITION_NORMAL && p->type != PED_PARTITION_EXTENDED)
                continue;
            used += static_cast<std::uint64_t>(p->geom.length);
            lastEnd = std::max(lastEnd, static_cast<std::uint64_t>(p->geom.end));
        }
        total = bytes;
        result.start = lastEnd;
        limit = bytes / sector;
    }
    // A table read from elsewhere may claim more than the area holds.
    if (used * sector >= total)
        return FreeSpace{};
    result.bytes = total - used * sector;
    result.limit = limit;
    return result;
}

::PedDisk* ped_disk_probe(PedDevice* dev)
{
    if (!dev) {
        kx_printf("ped_disk_probe(): dev = NULL\n");
        return nullptr;
    }
    if (!dev->disk) {
        dev->disk = ::ped_disk_new(&dev->parted);
        return dev->disk;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt)
            win::Sleep(200);
        if (dev->disk->type->ops->read(dev->disk))
            return dev->disk;
    }
    return nullptr;
}

}  // namespace kx
