// The partition-table makers exported with C linkage for outside callers.
#include "kx/kx.h"
#include "labels/pedmsdos.h"

extern "C" {

KX_API int ped_part_create_partition(struct _PedDisk* disk, int type, int code, uint64_t start, uint64_t end)
{
    // An int outside the enumeration's values must not be cast to it.
    if (type != PED_PARTITION_NORMAL && type != PED_PARTITION_EXTENDED && type != PED_PARTITION_LOGICAL)
        return 0;
    return kx::createPartition(disk, static_cast<::PedPartitionType>(type), code, start, end);
}

KX_API int ped_part_delete(struct _PedPartition* part)
{
    return kx::deletePartition(part);
}

}  // extern "C"
