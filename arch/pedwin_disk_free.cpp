// Free space of a matched disk, by area.
#include "arch/pedwin_disk_internal.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"

namespace kx {

std::uint64_t PedWinDeviceDiskFreespace(kx_disk* disk, int type)
{
    if (!disk) {
        KX_REPORT(source::pedWinBase, "disk != NULL");
        return 0;
    }
    PedWinDev* entry = entryOfDisk(disk);
    if (!entry || !entry->peddev || !entry->peddev->disk)
        return 0;
    // 3 is the extended area; every other type counts as the primary area.
    const int area = type == KX_PART_LOGICAL ? 1 : 0;
    return ped_disk_query_free(entry->peddev->disk, area).bytes;
}

}  // namespace kx
