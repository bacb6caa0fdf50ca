// Changes of a matched disk's table: delete all, create one, delete one,
// each committed to the disk and announced to Windows.
#include "windev/pedwin_crypt_driver.h"
#include "arch/pedwin_disk_internal.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"

namespace kx {

namespace {

::PedDisk* tableOf(kx_disk* disk)
{
    PedWinDev* entry = entryOfDisk(disk);
    if (!entry || !entry->peddev || !entry->peddev->disk) {
        KX_REPORT(source::pedWinBase, "windev->peddev != NULL && winddev->peddev->disk != NULL");
        return nullptr;
    }
    return entry->peddev->disk;
}

// A mounted private volume is closed before its partition goes away; one
// that is not mounted (here or by another process) has nothing to close.
bool unloadPrivate(::PedPartition* part)
{
    MsdosPartitionData* data = partData(part);
    if (!data->winpart.private_volume)
        return true;
    learnDriverMount(data->dev);
    if (!data->dev || !data->dev->mount_point)
        return true;
    return PedWinPartUnload(&data->winpart) == 0;
}

::PedPartitionType partitionType(int pflag)
{
    switch (pflag) {
    case KX_PART_EXTENDED:
        return PED_PARTITION_EXTENDED;
    case KX_PART_LOGICAL:
        return PED_PARTITION_LOGICAL;
    default:
        return PED_PARTITION_NORMAL;
    }
}

}  // namespace

int commitTable(::PedDisk* disk)
{
    // Only a table that reached the disk may be reported as written.
    if (!::ped_disk_commit_to_dev(disk))
        return 0;
    ::ped_disk_commit_to_os(disk);
    return 1;
}

int PedWinPartDeleteAll(kx_disk* disk)
{
    ::PedDisk* table = tableOf(disk);
    if (!table)
        return 0;
    for (::PedPartition* p = nextTopLevel(table, nullptr); p; p = nextTopLevel(table, p)) {
        if (!isExtended(p)) {
            unloadPrivate(p);  // a primary one that stays loaded is deleted anyway
            continue;
        }
        for (::PedPartition* l = nextLogical(table, nullptr); l; l = nextLogical(table, l))
            if (!unloadPrivate(l))
                return 0;
    }
    if (!kx::ped_disk_delete_all(table))
        return 0;
    return commitTable(table);
}

int PedWinPartCreate(kx_disk* disk, int pflag, int fflag, std::uint64_t size, int commit)
{
    ::PedDisk* table = tableOf(disk);
    if (!table)
        return 0;
    const ::PedPartitionType type = partitionType(pflag);
    const int code = codeOfKind(fflag);
    const FreeSpace free = ped_disk_query_free(table, type == PED_PARTITION_LOGICAL ? 1 : 0);
    // Under one sector would end the partition before its start (or, at
    // sector 0, wrap round to the whole disk).
    if (size < 512 || size > free.bytes)
        return 0;
    // Sizes count 512-byte units whatever the device's sector size.
    std::uint64_t end = free.start + size / 512 - 1;
    if (free.limit > 0 && end > free.limit - 1)
        end = free.limit - 1;
    if (!createPartition(table, type, code, free.start, end))
        return 0;
    return commit ? commitTable(table) : 1;
}

int PedWinPartDelete(PedWinPart* part)
{
    ::PedPartition* p = findPartition(part);
    if (!p)
        return 0;
    ::PedDisk* table = p->disk;
    if (!deletePartition(p))
        return 0;
    return commitTable(table);
}

}  // namespace kx
