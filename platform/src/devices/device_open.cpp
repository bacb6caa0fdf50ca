// CreateFile on \\.\ names: the machine's disks and partitions, the volumes
// the encryption driver mounted, and the driver's own device.
#include <fcntl.h>

#include "crypt/crypt_driver.h"
#include "crypt/encrypted_view_device.h"
#include "files/file_objects.h"
#include "platform/win_api.h"
#include "platform/win_truecrypt.h"
#include "text/text_util.h"

namespace win::detail {

namespace {

HANDLE failWith(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE openDevice(std::string_view name, DWORD access, DWORD share, DWORD /*disposition*/, DWORD flags)
{
    if (machine::equalsNoCase(name, std::string_view(crypt_driver::deviceName).substr(4)))
        return openCryptDriver();
    auto m = machine::current();
    auto state = m->readWithoutNames();
    auto target = resolveDeviceName(*state, *m->readDosNames(), name);
    if (!target)
        return failWith(ERROR_FILE_NOT_FOUND);
    const machine::Disk& disk = state->disks[static_cast<size_t>(target->slot)];
    const bool wantWrite = access & (GENERIC_WRITE | GENERIC_ALL);
    if (wantWrite && disk.readOnly)
        return failWith(ERROR_ACCESS_DENIED);
    if (share == 0 && disk.faults.refuseExclusive)
        return failWith(ERROR_SHARING_VIOLATION);
    std::shared_ptr<DeviceObject> object;
    int lockFd = -1;
    if (target->cryptLetter) {
        object = makeEncryptedVolumeObject(*m, *state, *target);
        if (!object)
            return INVALID_HANDLE_VALUE;
        lockFd = openCryptVolumeLockFile(*m, target->cryptLetter, target->cryptMount);
    } else {
        object = std::make_shared<DeviceObject>();
        lockFd = openDeviceLockFile(m->dir().string(), target->slot, target->partition);
    }
    object->machine = m;
    object->target = *target;
    object->access = access;
    object->flags = flags;
    if (lockFd < 0)
        return failWith(ERROR_ACCESS_DENIED);
    if (DWORD e = object->share.claim(lockFd, access, share); e != ERROR_SUCCESS)
        return failWith(e);
    // A host disk is opened for writing only at its first write: udev reads
    // a disk's table again whenever a writer closes it, and a search opens
    // every disk for writing only to ask who it is.
    object->writableLater = wantWrite && disk.host;
    object->fd = machine::openBacking(*m, disk, wantWrite && !object->writableLater ? O_RDWR : O_RDONLY);
    if (object->fd < 0)
        return failWith(ERROR_NOT_READY);
    SetLastError(ERROR_SUCCESS);
    return registerHandle(object);
}

}  // namespace win::detail
