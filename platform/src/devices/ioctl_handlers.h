// The device control codes a disk or partition answers, one handler each.
#pragma once

#include "files/file_objects.h"
#include "platform/win_ioctl.h"

namespace win::detail {

struct IoctlCall {
    DeviceObject& device;
    const machine::Disk& disk;  // as it is now
    const void* in;
    DWORD inSize;
    void* out;
    DWORD outSize;
    DWORD* returned;
};

BOOL getPartitionInfo(IoctlCall& call);
BOOL getDriveGeometry(IoctlCall& call);
BOOL getLengthInfo(IoctlCall& call);
BOOL updateProperties(IoctlCall& call);
BOOL scsiPassThrough(IoctlCall& call);
BOOL storageQueryProperty(IoctlCall& call);
BOOL storageGetDeviceNumber(IoctlCall& call);
BOOL isVolumeMounted(IoctlCall& call);
BOOL volumeLockOrDismount(IoctlCall& call, DWORD code);
// A whole disk: the lock holds it for a job (host/disk_hold.h) until the
// unlock or the handle's close; the dismount lets go of every hold this
// process has on it, as its device is about to restart.
BOOL lockWholeDisk(IoctlCall& call, DWORD code);
BOOL diskPerformance(IoctlCall& call);

// The code the USB filter driver (kxusbflt) answers in a disk's stack.
constexpr DWORD kUsbFilterNotify = CTL_CODE(FILE_DEVICE_DISK, 0xF10, METHOD_BUFFERED, FILE_ANY_ACCESS);
BOOL usbFilterNotify(IoctlCall& call);

// Sets the last error and returns FALSE, for the handlers' failure paths.
BOOL failIoctl(DWORD error);

}  // namespace win::detail
