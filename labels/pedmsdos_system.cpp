// System ids and flags. Private partitions are told apart by their
// file-system code, so the hidden flag never survives a system change.
#include "labels/pedmsdos_internal.h"
#include "labels/partition_fs.h"

namespace kx::msdos {

namespace {

bool isExtended(const ::PedPartition* part)
{
    return part->type & PED_PARTITION_EXTENDED;
}

int* flagField(MsdosPartitionData* d, ::PedPartitionFlag flag)
{
    switch (flag) {
    case PED_PARTITION_BOOT: return &d->boot;
    case PED_PARTITION_HIDDEN: return &d->hidden;
    case PED_PARTITION_RAID: return &d->raid;
    case PED_PARTITION_LVM: return &d->lvm;
    case PED_PARTITION_LBA: return &d->lba;
    case PED_PARTITION_PALO: return &d->palo;
    case PED_PARTITION_PREP: return &d->prep;
    default: return nullptr;
    }
}

}  // namespace

std::uint8_t systemIdFor(MsdosPartitionData* d, bool extended)
{
    d->hidden = 0;
    if (extended) {
        d->raid = d->lvm = d->palo = 0;
        return d->lba ? 0x0F : 0x05;
    }
    if (d->lvm)
        return 0x8E;
    if (d->raid)
        return 0xFD;
    if (d->palo)
        return 0xF0;
    if (d->prep)
        return 0x41;
    return d->fs ? systemIdOfCode(d->fs->code) : 0x83;
}

void flagsFromSystemId(MsdosPartitionData* d, std::uint8_t id)
{
    d->lba = id == 0x0C || id == 0x0E || id == 0x0F;
    d->hidden = id == 0x11 || id == 0x14 || id == 0x16 || id == 0x17 || id == 0x1B || id == 0x1C || id == 0x1E;
    d->lvm = id == 0x8E;
    d->raid = id == 0xFD;
    d->palo = id == 0xF0;
    d->prep = id == 0x41;
}

int partitionSetSystem(::PedPartition* part, const ::PedFileSystemType* fsType)
{
    MsdosPartitionData* d = partData(part);
    if (!d)
        return 0;
    part->fs_type = fsType;
    if (part->type & PED_PARTITION_PROTECTED)
        return 1;  // a GUID table's protective entry keeps its id
    d->system = systemIdFor(d, isExtended(part));
    return 1;
}

int partitionSetFlag(::PedPartition* part, ::PedPartitionFlag flag, int state)
{
    MsdosPartitionData* d = partData(part);
    int* field = d ? flagField(d, flag) : nullptr;
    if (!field)
        return 0;
    if (flag == PED_PARTITION_HIDDEN && isExtended(part)) {
        ped_exception_throw(PED_EXCEPTION_ERROR, PED_EXCEPTION_CANCEL,
                            "Extended partitions cannot be hidden on msdos disk labels.");
        return 0;
    }
    *field = state ? 1 : 0;
    if (flag != PED_PARTITION_BOOT)
        return ped_partition_set_system(part, part->fs_type);
    if (state) {
        // One boot partition per disk.
        for (::PedPartition* p = ped_disk_next_partition(part->disk, nullptr); p;
             p = ped_disk_next_partition(part->disk, p)) {
            if (p != part && isActive(p))
                if (MsdosPartitionData* other = partData(p))
                    other->boot = 0;
        }
    }
    return 1;
}

int partitionGetFlag(const ::PedPartition* part, ::PedPartitionFlag flag)
{
    MsdosPartitionData* d = partData(part);
    const int* field = d ? flagField(d, flag) : nullptr;
    return field ? *field : 0;
}

int partitionIsFlagAvailable(const ::PedPartition* part, ::PedPartitionFlag flag)
{
    if (part->type & PED_PARTITION_PROTECTED)
        return 0;
    if (isExtended(part))
        return flag == PED_PARTITION_LBA || flag == PED_PARTITION_HIDDEN;
    return flag == PED_PARTITION_BOOT || flag == PED_PARTITION_HIDDEN || flag == PED_PARTITION_RAID ||
           flag == PED_PARTITION_LVM || flag == PED_PARTITION_LBA || flag == PED_PARTITION_PALO ||
           flag == PED_PARTITION_PREP;
}

}  // namespace kx::msdos
