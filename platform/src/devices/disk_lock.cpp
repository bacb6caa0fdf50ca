// FSCTL_LOCK_VOLUME, FSCTL_UNLOCK_VOLUME and FSCTL_DISMOUNT_VOLUME on a whole
// disk: a job's hold on the disk across processes and machine folders.
#include <iostream>

#include "devices/ioctl_handlers.h"
#include "host/disk_hold.h"

namespace win::detail {

BOOL lockWholeDisk(IoctlCall& call, DWORD code)
{
    DeviceObject& device = call.device;
    switch (code) {
    case FSCTL_UNLOCK_VOLUME:
        if (!device.hold)
            return failIoctl(ERROR_NOT_LOCKED);
        device.hold.reset();
        return TRUE;
    case FSCTL_DISMOUNT_VOLUME:
        host::releaseHolds(*device.machine, device.target.slot);
        device.hold.reset();
        return TRUE;
    default:
        break;
    }
    if (device.hold)
        return TRUE;
    std::string why;
    bool busy = false;
    device.hold = host::DiskHold::take(*device.machine, call.disk, why, busy);
    if (device.hold)
        return TRUE;
    // The caller has only the code; the reason goes where the host's other
    // refusals go.
    if (!busy)
        std::cerr << "machine: disk " << call.disk.slot << " cannot be held for the job: " << why << '\n';
    return failIoctl(busy ? ERROR_LOCK_VIOLATION : ERROR_NOT_READY);
}

}  // namespace win::detail
