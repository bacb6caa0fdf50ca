#include "crypt/crypt_driver.h"
#include "devices/ioctl_handlers.h"
#include "platform/win_api.h"
#include "platform/win_system_state.h"

namespace win {

namespace detail {

BOOL failIoctl(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

}  // namespace detail

BOOL DeviceIoControl(HANDLE handle, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
                     LPOVERLAPPED)
{
    DWORD ignoredCount = 0;
    if (auto answer = detail::cryptDriverControl(handle, code, in, inSize, out, outSize,
                                                 returned ? returned : &ignoredCount))
        return *answer;
    auto device = detail::lookupAs<detail::DeviceObject>(handle);
    if (!device) {
        // Files answer no device controls; unknown handles are invalid.
        return detail::failIoctl(detail::lookupHandle(handle) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE);
    }
    auto state = device->machine->readWithoutNames();
    const machine::Disk* disk = device->currentDisk(*state);
    if (!disk)
        return FALSE;
    DWORD ignored = 0;
    detail::IoctlCall call{*device, *disk, in, inSize, out, outSize, returned ? returned : &ignored};
    *call.returned = 0;
    switch (code) {
    case IOCTL_DISK_GET_PARTITION_INFO:
        return detail::getPartitionInfo(call);
    case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        return detail::getDriveGeometry(call);
    case IOCTL_DISK_GET_LENGTH_INFO:
        return detail::getLengthInfo(call);
    case IOCTL_DISK_UPDATE_PROPERTIES:
        return detail::updateProperties(call);
    case IOCTL_DISK_PERFORMANCE:
        return detail::diskPerformance(call);
    case IOCTL_SCSI_PASS_THROUGH:
        return detail::scsiPassThrough(call);
    case IOCTL_STORAGE_QUERY_PROPERTY:
        return detail::storageQueryProperty(call);
    case IOCTL_STORAGE_GET_DEVICE_NUMBER:
        return detail::storageGetDeviceNumber(call);
    case FSCTL_IS_VOLUME_MOUNTED:
        return detail::isVolumeMounted(call);
    case FSCTL_LOCK_VOLUME:
    case FSCTL_UNLOCK_VOLUME:
    case FSCTL_DISMOUNT_VOLUME:
        return detail::volumeLockOrDismount(call, code);
    case detail::kUsbFilterNotify:
        return detail::usbFilterNotify(call);
    default:
        // Codes of drivers that are not in this disk's stack.
        return detail::failIoctl(ERROR_INVALID_FUNCTION);
    }
}

}  // namespace win
