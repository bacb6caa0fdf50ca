// The device control codes a disk or partition answers, one handler each.
#pragma once

#include "file_objects.h"

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
BOOL volumeLockOrDismount(IoctlCall& call);

// Sets the last error and returns FALSE, for the handlers' failure paths.
BOOL failIoctl(DWORD error);

}  // namespace win::detail
