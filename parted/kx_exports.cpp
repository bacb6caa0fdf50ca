// The partition-table makers exported with C linkage for outside callers.
#include "kx/kx.h"
#include "labels/pedmsdos.h"

extern "C" {

KX_API int ped_part_create_partition(struct _PedDisk* disk, int type, int code, uint64_t start, uint64_t end)
{
    return kx::createPartition(disk, static_cast<::PedPartitionType>(type), code, start, end);
}

KX_API int ped_part_delete(struct _PedPartition* part)
{
    return kx::deletePartition(part);
}

}  // extern "C"
