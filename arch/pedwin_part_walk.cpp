// Walking a disk's partitions: all (depth first), primary, extended or
// logical ones.
#include "arch/pedwin_disk_internal.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"

namespace kx {

namespace {

::PedPartition* extendedOf(const ::PedDisk* table)
{
    for (::PedPartition* p = nextTopLevel(table, nullptr); p; p = nextTopLevel(table, p))
        if (isExtended(p))
            return p;
    return nullptr;
}

::PedPartition* firstOf(const ::PedDisk* table, int type)
{
    switch (type) {
    case KX_PART_ALL:
        return nextTopLevel(table, nullptr);
    case KX_PART_PRIMARY: {
        ::PedPartition* p = nextTopLevel(table, nullptr);
        return p && isExtended(p) ? nextTopLevel(table, p) : p;
    }
    case KX_PART_EXTENDED:
        return extendedOf(table);
    case KX_PART_LOGICAL:
        return extendedOf(table) ? nextLogical(table, nullptr) : nullptr;
    default:
        return nullptr;
    }
}

::PedPartition* after(const ::PedDisk* table, ::PedPartition* prev, int type)
{
    switch (type) {
    case KX_PART_ALL:
        if (isExtended(prev))
            return nextLogical(table, nullptr);  // none ends the walk
        if (isLogical(prev)) {
            if (::PedPartition* l = nextLogical(table, prev))
                return l;
            ::PedPartition* e = extendedOf(table);
            return e ? nextTopLevel(table, e) : nullptr;
        }
        return nextTopLevel(table, prev);
    case KX_PART_PRIMARY: {
        if (isLogical(prev))
            return nullptr;
        ::PedPartition* p = nextTopLevel(table, prev);
        return p && isExtended(p) ? nextTopLevel(table, p) : p;
    }
    case KX_PART_LOGICAL:
        return isLogical(prev) ? nextLogical(table, prev) : nullptr;
    default:  // one extended partition at most
        return nullptr;
    }
}

}  // namespace

PedWinPart* PedWinPartInfo(kx_disk* disk, PedWinPart* previous, int type)
{
    if (!disk) {
        KX_REPORT(source::pedWinBase, "disk != NULL");
        return nullptr;
    }
    PedWinDev* entry = entryOfDisk(disk);
    if (!entry)
        return nullptr;
    if (!entry->peddev) {
        KX_REPORT(source::pedWinBase, "windev->peddev == NULL");
        return nullptr;
    }
    const ::PedDisk* table = entry->peddev->disk;
    if (!table) {
        KX_REPORT(source::pedWinBase, "windev->peddev->disk == NULL");
        return nullptr;
    }
    if (!nextTopLevel(table, nullptr)) {
        KX_REPORT(source::pedWinBase, "windev->peddev->disk->part_list == NULL");
        return nullptr;
    }
    ::PedPartition* found = nullptr;
    if (!previous) {
        found = firstOf(table, type);
    } else {
        PedWinDev* owner = nullptr;
        ::PedPartition* prev = findPartition(previous, &owner);
        if (!prev || owner != entry)
            return nullptr;
        found = after(table, prev, type);
    }
    return found ? &partData(found)->winpart : nullptr;
}

}  // namespace kx
