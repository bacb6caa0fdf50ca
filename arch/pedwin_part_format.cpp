// Formatting one partition of a matched disk through its file-system
// record, and the process-wide progress of that format.
#include "arch/pedwin_disk_internal.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"
#include "device/peddevice.h"

namespace kx {

int PedWinPartFormat(PedWinPart* part, const char* password, const char* label, int quick, int clusterSize)
{
    // Only a partition some table holds is followed; a stale handle is not.
    ::PedPartition* p = findPartition(part);
    PedPartFs* fs = p ? partData(p)->fs : nullptr;
    const int result = fs && fs->ops.format ? fs->ops.format(fs, password, label, quick, clusterSize)
                                            : KX_FORMAT_NO_PARTITION;
    if (result != 0) {
        const PedDevice* dev = p ? partData(p)->dev : nullptr;
        kx_printf("Fail to format: %s\n", dev && dev->path ? dev->path : "(null)");
        return result;
    }
    // The new volume's label and figures, for callers that read the handle.
    if (fs->ops.refresh)
        fs->ops.refresh(p, 0);
    refreshPartitionRecord(p);
    return 0;
}

int PedWinPartFormatProgress(PedWinPart* /*part*/)
{
    return ped_file_system_format_progress();
}

}  // namespace kx
