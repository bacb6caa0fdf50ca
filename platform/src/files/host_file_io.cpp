#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "files/file_objects.h"
#include "platform/win_api.h"

namespace win::detail {

BOOL HostFileObject::read(void* buffer, DWORD size, std::uint64_t offset, DWORD* done)
{
    if (!canRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD total = 0;
    while (total < size) {
        const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + total, size - total, static_cast<off_t>(offset + total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
    }
    *done = total;
    position = offset + total;
    return TRUE;
}

BOOL HostFileObject::write(const void* buffer, DWORD size, std::uint64_t offset, DWORD* done)
{
    if (!canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD total = 0;
    while (total < size) {
        const ssize_t n =
            ::pwrite(fd, static_cast<const char*>(buffer) + total, size - total, static_cast<off_t>(offset + total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *done = total;
            SetLastError(errno == ENOSPC ? DWORD{112} /* ERROR_DISK_FULL */ : DWORD{ERROR_WRITE_FAULT});
            return FALSE;
        }
        total += static_cast<DWORD>(n);
    }
    *done = total;
    position = offset + total;
    if (!flushIfWriteThrough()) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return TRUE;
}

bool FileObject::flushIfWriteThrough() const
{
    if (!writeThrough())
        return true;
    while (::fdatasync(fd) != 0)
        if (errno != EINTR)
            return errno == EINVAL;
    return true;
}

std::uint64_t HostFileObject::size() const
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

}  // namespace win::detail
