// The label's partition records: making, copying, freeing, numbering and
// placing them.
#include <cstdlib>
#include <cstring>
#include <new>

#include "labels/pedmsdos_chain.h"
#include "labels/pedmsdos_internal.h"
#include "labels/partition_fs.h"
#include "device/peddevice.h"

namespace kx::msdos {

namespace {

char* copyText(const char* text)
{
    return text ? strdup(text) : nullptr;
}

void freeWinPart(PedWinPart& w)
{
    std::free(w.name);
    std::free(w.path);
    std::free(w.mountpoint);
    w = PedWinPart{};
}

}  // namespace

::PedPartition* partitionNew(const ::PedDisk* disk, ::PedPartitionType type, const ::PedFileSystemType* fsType,
                             ::PedSector start, ::PedSector end)
{
    ::PedPartition* part = _ped_partition_alloc(disk, type, fsType, start, end);
    if (!part)
        return nullptr;
    part->disk_specific = nullptr;
    if (!isActive(part))
        return part;
    auto* data = new (std::nothrow) MsdosPartitionData{};
    if (!data) {
        _ped_partition_free(part);
        return nullptr;
    }
    data->part = part;
    data->system = (type & PED_PARTITION_EXTENDED) ? 0x05 : 0x83;
    part->disk_specific = data;
    return part;
}

::PedPartition* partitionDuplicate(const ::PedPartition* part)
{
    ::PedPartition* copy = partitionNew(part->disk, part->type, part->fs_type, part->geom.start, part->geom.end);
    if (!copy)
        return nullptr;
    copy->num = part->num;
    const auto* from = static_cast<const MsdosPartitionData*>(part->disk_specific);
    auto* to = static_cast<MsdosPartitionData*>(copy->disk_specific);
    if (!from || !to)
        return copy;

    PedPartFs* fs = nullptr;
    if (from->fs) {
        fs = partitionFsNew(copy, from->fs->code);
        if (!fs) {
            partitionDestroy(copy);
            return nullptr;
        }
        char* label = fs->label;  // the new record's own (none)
        *fs = *from->fs;
        fs->part = copy;
        fs->label = copyText(from->fs->label);
        std::free(label);
    }
    *to = *from;
    to->part = copy;
    to->fs = fs;
    to->winpart.name = copyText(from->winpart.name);
    to->winpart.path = copyText(from->winpart.path);
    to->winpart.mountpoint = copyText(from->winpart.mountpoint);
    // The device record belongs to the partition Windows shows; a copy in
    // memory has none of its own, so freeing either never frees it twice.
    to->dev = nullptr;
    return copy;
}

void partitionDestroy(::PedPartition* part)
{
    if (!part)
        return;
    if (auto* data = static_cast<MsdosPartitionData*>(part->disk_specific)) {
        // Its device record goes with it: every re-read of a table replaces
        // all its partitions, and a long-running caller re-reads often.
        if (data->dev)
            ped_device_destroy(data->dev);
        freeWinPart(data->winpart);
        partitionFsDestroy(data->fs);
        delete data;
        part->disk_specific = nullptr;
    }
    _ped_partition_free(part);
}

int partitionEnumerate(::PedPartition* part)
{
    if (part->num != -1)
        return 1;
    const bool logical = part->type & PED_PARTITION_LOGICAL;
    const int first = logical ? 5 : 1;
    const int last = logical ? mbr::kMaxPartitions : 4;
    for (int n = first; n <= last; ++n) {
        if (!ped_disk_get_partition(part->disk, n)) {
            part->num = n;
            return 1;
        }
    }
    ped_exception_throw(PED_EXCEPTION_ERROR, PED_EXCEPTION_CANCEL, "Can't create any more partitions.");
    return 0;
}

namespace {

bool overlap(const ::PedPartition* a, const ::PedPartition* b)
{
    return a->geom.start <= b->geom.end && b->geom.start <= a->geom.end;
}

// Without a constraint libparted does not look at neighbours, so a new
// partition (ours, or an entry read from the disk) is checked here.
bool fitsBetweenOthers(const ::PedPartition* part)
{
    const ::PedDisk* disk = part->disk;
    const bool logical = part->type & PED_PARTITION_LOGICAL;
    if (logical) {
        const ::PedPartition* ext = ped_disk_extended_partition(disk);
        if (!ext || part->geom.start < ext->geom.start || part->geom.end > ext->geom.end) {
            ped_exception_throw(PED_EXCEPTION_ERROR, PED_EXCEPTION_CANCEL,
                                "Can't have a logical partition outside of the extended partition on %s.",
                                disk->dev->path);
            return false;
        }
    }
    const ::PedPartition* ext = ped_disk_extended_partition(disk);
    if ((part->type & PED_PARTITION_EXTENDED) && ext && ext != part) {
        ped_exception_throw(PED_EXCEPTION_ERROR, PED_EXCEPTION_CANCEL,
                            "Can't have more than one extended partition on %s.", disk->dev->path);
        return false;
    }
    const ::PedPartition* other = logical ? nextLogical(disk, nullptr) : nextTopLevel(disk, nullptr);
    for (; other; other = logical ? nextLogical(disk, other) : nextTopLevel(disk, other)) {
        if (other != part && overlap(other, part)) {
            ped_exception_throw(PED_EXCEPTION_ERROR, PED_EXCEPTION_CANCEL, "Can't have overlapping partitions.");
            return false;
        }
    }
    return true;
}

}  // namespace

int partitionAlign(::PedPartition* part, const ::PedConstraint* constraint)
{
    // Our own callers place partitions exactly and pass no constraint.
    if (constraint) {
        ::PedGeometry* solved = ped_constraint_solve_nearest(constraint, &part->geom);
        if (!solved) {
            ped_exception_throw(PED_EXCEPTION_ERROR, PED_EXCEPTION_CANCEL,
                                "Unable to satisfy all constraints on the partition.");
            return 0;
        }
        const int ok = ped_geometry_set(&part->geom, solved->start, solved->length);
        ped_geometry_destroy(solved);
        if (!ok)
            return 0;
    }
    return fitsBetweenOthers(part) ? 1 : 0;
}

bool partitionCheck(const ::PedPartition*)
{
    return true;
}

// The MBR has no partition names.
void partitionSetName(::PedPartition*, const char*) {}

const char* partitionGetName(const ::PedPartition*)
{
    return nullptr;
}

}  // namespace kx::msdos
