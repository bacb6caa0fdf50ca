// Has Windows caught up with the table: does every partition show, with a
// drive letter unless it is of a kind that never gets one?
#include "arch/pedwin_disk_internal.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"

namespace kx {

namespace {

bool shown(const ::PedPartition* part, bool systemCounts)
{
    const MsdosPartitionData* data = partData(part);
    if (!data->dev)
        return false;
    if (data->dev->mount_point)
        return true;
    const int code = data->fs ? data->fs->code : FS_NONE;
    return isPrivateCode(code) || (systemCounts && code == FS_SYSTEM);
}

}  // namespace

int PedWinPartCheckReady(kx_disk* disk)
{
    if (!disk) {
        KX_REPORT(source::pedWinBase, "disk == NULL");
        return 0;
    }
    PedWinDev* entry = entryOfDisk(disk);
    if (!entry || !entry->peddev || !entry->peddev->disk) {
        kx_printf("windev->peddev == NULL) || (windev->peddev->disk == NULL)");
        return 0;
    }
    ::PedDisk* table = entry->peddev->disk;
    bool ready = true;
    for (::PedPartition* p = nextTopLevel(table, nullptr); p && ready; p = nextTopLevel(table, p)) {
        if (!isExtended(p)) {
            ready = shown(p, true);
            continue;
        }
        // A system partition inside the extended one needs its letter.
        for (::PedPartition* l = nextLogical(table, nullptr); l && ready; l = nextLogical(table, l))
            ready = shown(l, false);
    }
    if (!ready)
        ::ped_disk_commit_to_os(table);
    return ready ? 1 : 0;
}

}  // namespace kx
