// Unloading one partition of a matched disk: its drive is dismounted
// through its file-system record.
#include "windev/pedwin_crypt_driver.h"
#include "arch/pedwin_disk_internal.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"

namespace kx {

int PedWinPartUnload(PedWinPart* part)
{
    ::PedPartition* p = findPartition(part);
    PedPartFs* fs = p ? partData(p)->fs : nullptr;
    if (fs && fs->private_volume)
        learnDriverMount(partData(p)->dev);
    if (!fs || !fs->ops.unmount || !fs->ops.unmount(fs))
        return 1;
    setText(part->mountpoint, nullptr);
    part->loaded = fs->mounted;
    part->free = fs->free;
    return 0;
}

}  // namespace kx
