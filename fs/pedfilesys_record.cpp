// Making and freeing file-system records.
#include <cstdlib>
#include <new>

#include "fs/pedfilesys.h"

namespace kx {

PedPartFs* ped_file_system_new(::PedPartition* part, int code)
{
    auto* fs = new (std::nothrow) PedPartFs{};
    if (!fs)
        return nullptr;
    fs->part = part;
    fs->code = code;
    fs->cluster_size = 4096;
    fs->ops.refresh = ped_file_system_refresh;
    fs->ops.format = ped_file_system_format;
    fs->ops.mount = ped_file_system_mount;
    fs->ops.unmount = ped_file_system_umount;
    return fs;
}

void ped_file_system_destroy(PedPartFs* fs)
{
    if (!fs)
        return;
    std::free(fs->label);  // labels are malloc'd texts, as every record text
    delete fs;
}

void ped_file_system_init()
{
    static const PartitionFsOps ops{ped_file_system_new, ped_file_system_destroy, ped_file_system_refresh};
    setPartitionFsOps(&ops);
}

}  // namespace kx
