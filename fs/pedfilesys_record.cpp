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
    // Format, mount and unmount come with their own work; callers check a
    // slot before they call it.
    fs->ops.refresh = ped_file_system_refresh;
    return fs;
}

void ped_file_system_destroy(PedPartFs* fs)
{
    if (!fs)
        return;
    std::free(fs->label);  // labels are malloc'd texts, as every record text
    delete fs;
}

}  // namespace kx
