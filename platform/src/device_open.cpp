// CreateFile on \\.\ names: the machine's disks and partitions.
#include <fcntl.h>

#include "file_objects.h"
#include "platform/win_api.h"

namespace win::detail {

HANDLE openDevice(std::string_view name, DWORD access, DWORD share, DWORD /*disposition*/, DWORD flags)
{
    auto m = machine::current();
    auto state = m->read();
    auto target = resolveDeviceName(*state, name);
    if (!target) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const machine::Disk& disk = state->disks[static_cast<size_t>(target->slot)];
    const bool wantWrite = access & (GENERIC_WRITE | GENERIC_ALL);
    if (wantWrite && disk.readOnly) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (share == 0 && disk.faults.refuseExclusive) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_shared<DeviceObject>();
    object->machine = m;
    object->target = *target;
    object->access = access;
    object->flags = flags;
    const int lockFd = openDeviceLockFile(m->dir().string(), target->slot, target->partition);
    if (lockFd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (DWORD e = object->share.claim(lockFd, access, share); e != ERROR_SUCCESS) {
        SetLastError(e);
        return INVALID_HANDLE_VALUE;
    }
    object->fd = ::open(m->backingPath(disk).c_str(), (wantWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (object->fd < 0) {
        SetLastError(ERROR_NOT_READY);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return registerHandle(object);
}

}  // namespace win::detail
