// Our disk type, its registration as the only one, and the route of
// libparted's messages into the library log.
#include <cstdio>
#include <vector>

#include "labels/pedmsdos_internal.h"

namespace kx {

namespace msdos {

namespace {

const ::_PedDiskOps kOps = {
    .probe = probe,
    .clobber = clobber,
    .alloc = alloc,
    .duplicate = duplicate,
    .free = free,
    .read = read,
    .write = write,
    .disk_set_flag = diskSetFlag,
    .disk_get_flag = diskGetFlag,
    .disk_is_flag_available = diskIsFlagAvailable,
    .partition_new = partitionNew,
    .partition_duplicate = partitionDuplicate,
    .partition_destroy = partitionDestroy,
    .partition_set_system = partitionSetSystem,
    .partition_set_flag = partitionSetFlag,
    .partition_get_flag = partitionGetFlag,
    .partition_is_flag_available = partitionIsFlagAvailable,
    .partition_set_name = partitionSetName,
    .partition_get_name = partitionGetName,
    .partition_align = partitionAlign,
    .partition_enumerate = partitionEnumerate,
    .partition_check = partitionCheck,
    .alloc_metadata = allocMetadata,
    .get_max_primary_partition_count = maxPrimaryCount,
    .get_max_supported_partition_count = maxSupportedCount,
    .get_partition_alignment = partitionAlignment,
    .max_length = maxLength,
    .max_start_sector = maxStartSector,
};

::PedDiskType kType = {nullptr, "msdos", &kOps, PED_DISK_TYPE_EXTENDED};

// libparted's own types are taken out while we run and put back before
// libparted's unload code unregisters them (it aborts on a missing one).
// This library unloads before libparted, which it depends on.
struct Registration {
    bool done = false;
    std::vector<::PedDiskType*> builtIn;

    ~Registration()
    {
        if (!done)
            return;
        ped_disk_type_unregister(&kType);
        for (auto it = builtIn.rbegin(); it != builtIn.rend(); ++it)
            ped_disk_type_register(*it);
    }
};

Registration registration;

// libparted's messages go to the library log; nothing here can ask a user,
// so every question is answered with the safe choice.
::PedExceptionOption onException(::PedException* ex)
{
    kx_printf("%s\n", ex && ex->message ? ex->message : "");
    if (!ex)
        return PED_EXCEPTION_UNHANDLED;
    for (::PedExceptionOption choice : {PED_EXCEPTION_CANCEL, PED_EXCEPTION_NO, PED_EXCEPTION_OK,
                                        PED_EXCEPTION_IGNORE}) {
        if (ex->options & choice)
            return choice;
    }
    return PED_EXCEPTION_UNHANDLED;
}

}  // namespace

::PedDiskType* diskType()
{
    return &kType;
}

}  // namespace msdos

int ped_disk_msdos_init()
{
    using msdos::registration;
    if (registration.done)
        return 1;
    for (::PedDiskType* t = ped_disk_type_get_next(nullptr); t; t = ped_disk_type_get_next(t))
        registration.builtIn.push_back(t);
    for (::PedDiskType* t : registration.builtIn)
        ped_disk_type_unregister(t);
    ped_disk_type_register(msdos::diskType());
    ped_exception_set_handler(msdos::onException);
    registration.done = true;
    return 1;
}

}  // namespace kx
