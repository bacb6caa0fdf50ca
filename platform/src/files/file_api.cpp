// CreateFile and the transfer functions on file and device handles.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "files/file_objects.h"
#include "files/path_map.h"
#include "machine/machine_open.h"
#include "platform/win_api.h"
#include "text/codepage.h"

namespace win {

namespace detail {

namespace {

int openFlagsFor(DWORD access)
{
    const bool r = access & (GENERIC_READ | GENERIC_ALL);
    const bool w = access & (GENERIC_WRITE | GENERIC_ALL);
    return (r && w) ? O_RDWR : w ? O_WRONLY : O_RDONLY;
}

DWORD errnoToError(int e)
{
    switch (e) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ELOOP:  // a link that came after the check
    case EXDEV:  // a path that leaves the machine's folder
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
        return ERROR_INVALID_NAME;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

void reportRefusedLink(const std::filesystem::path& path)
{
    std::fprintf(stderr, "machine: %s is a symbolic link; it is not followed\n", machine::shownPath(path).c_str());
}

HANDLE failWith(DWORD error)
{
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE openHostFile(const std::filesystem::path& path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return failWith(ERROR_ACCESS_DENIED);
    // Nothing in the machine is a link; one planted there is never followed.
    if (exists && S_ISLNK(st.st_mode)) {
        reportRefusedLink(path);
        return failWith(ERROR_ACCESS_DENIED);
    }
    if (!exists && !std::filesystem::is_directory(path.parent_path().empty() ? "." : path.parent_path()))
        return failWith(ERROR_PATH_NOT_FOUND);

    int mode = openFlagsFor(access) | O_CLOEXEC | O_NOFOLLOW;
    switch (disposition) {
    case CREATE_NEW:
        if (exists)
            return failWith(ERROR_FILE_EXISTS);
        mode |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        mode |= O_CREAT;
        break;
    case OPEN_EXISTING:
        if (!exists)
            return failWith(ERROR_FILE_NOT_FOUND);
        break;
    case OPEN_ALWAYS:
        mode |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        if (!exists)
            return failWith(ERROR_FILE_NOT_FOUND);
        if (!(access & (GENERIC_WRITE | GENERIC_ALL)))
            return failWith(ERROR_INVALID_PARAMETER);
        break;
    default:
        return failWith(ERROR_INVALID_PARAMETER);
    }
    if ((mode & O_ACCMODE) == O_RDONLY && (mode & O_CREAT))
        mode = (mode & ~O_ACCMODE) | O_RDWR;  // creating needs a writable descriptor here

    auto object = std::make_shared<HostFileObject>();
    object->access = access;
    object->flags = flags;
    // Sharing is checked before anything is truncated, as Windows does.
    if (exists) {
        const int lockFd = machine::openWithoutLinks(path, O_RDONLY);
        if (lockFd < 0)
            return failWith(errnoToError(errno));
        if (DWORD e = object->share.claim(lockFd, access, share); e != ERROR_SUCCESS)
            return failWith(e);
    }
    object->fd = machine::openWithoutLinks(path, mode);
    if (object->fd < 0)
        return failWith(errnoToError(errno));
    if (!exists) {
        const int lockFd = machine::openWithoutLinks(path, O_RDONLY);
        if (lockFd < 0 || object->share.claim(lockFd, access, share) != ERROR_SUCCESS)
            return failWith(ERROR_SHARING_VIOLATION);
    }
    if (exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && ::ftruncate(object->fd, 0) != 0)
        return failWith(ERROR_ACCESS_DENIED);
    HANDLE h = registerHandle(object);
    SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                       : ERROR_SUCCESS);
    return h;
}

HANDLE openPath(const std::string& utf8, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    ResolvedPath r = resolvePath(utf8);
    switch (r.kind) {
    case ResolvedPath::Device:
        return openDevice(r.device, access, share, disposition, flags);
    case ResolvedPath::HostFile:
        return openHostFile(r.host, access, share, disposition, flags);
    default:
        return failWith(ERROR_PATH_NOT_FOUND);
    }
}

std::uint64_t offsetOf(const OVERLAPPED* overlapped, const FileObject& file)
{
    if (!overlapped)
        return file.position;
    return (static_cast<std::uint64_t>(overlapped->OffsetHigh) << 32) | overlapped->Offset;
}

std::shared_ptr<FileObject> fileOf(HANDLE handle)
{
    auto file = lookupAs<FileObject>(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

// ReadFile and WriteFile: the handle, the buffer, the offset, the count.
template <typename Buffer, typename Transfer>
BOOL transferFile(HANDLE handle, Buffer buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped, Transfer transfer)
{
    auto file = fileOf(handle);
    if (!file)
        return FALSE;
    if (!buffer && size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD moved = 0;
    const BOOL ok = transfer(*file, buffer, size, offsetOf(overlapped, *file), &moved);
    if (done)
        *done = moved;
    return ok;
}

}  // namespace

}  // namespace detail

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE)
{
    if (!path)
        return detail::failWith(ERROR_INVALID_PARAMETER);
    const auto utf8 = detail::ansiPathToUtf8(path);
    return utf8 ? detail::openPath(*utf8, access, share, disposition, flags) : INVALID_HANDLE_VALUE;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE)
{
    if (!path)
        return detail::failWith(ERROR_INVALID_PARAMETER);
    return detail::openPath(detail::wideToUtf8(detail::wideOf(path)), access, share, disposition, flags);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    return detail::transferFile(handle, buffer, toRead, read, overlapped,
                                [](detail::FileObject& f, LPVOID b, DWORD n, std::uint64_t at, DWORD* done) {
                                    return f.read(b, n, at, done);
                                });
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    return detail::transferFile(handle, buffer, toWrite, written, overlapped,
                                [](detail::FileObject& f, LPCVOID b, DWORD n, std::uint64_t at, DWORD* done) {
                                    return f.write(b, n, at, done);
                                });
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, PLARGE_INTEGER newPosition, DWORD method)
{
    auto file = detail::fileOf(handle);
    if (!file)
        return FALSE;
    std::int64_t base = 0;
    switch (method) {
    case FILE_BEGIN:
        break;
    case FILE_CURRENT:
        base = static_cast<std::int64_t>(file->position);
        break;
    case FILE_END:
        base = static_cast<std::int64_t>(file->size());
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::int64_t target = base + distance.QuadPart;
    if (target < 0) {
        SetLastError(131);  // ERROR_NEGATIVE_SEEK
        return FALSE;
    }
    file->position = static_cast<std::uint64_t>(target);
    if (newPosition)
        newPosition->QuadPart = target;
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE handle, PLARGE_INTEGER size)
{
    auto file = detail::fileOf(handle);
    if (!file)
        return FALSE;
    if (size)
        size->QuadPart = static_cast<LONGLONG>(file->size());
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle)
{
    auto file = detail::fileOf(handle);
    if (!file)
        return FALSE;
    if (!file->canWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    ::fsync(file->fd);
    return TRUE;
}

BOOL SetEndOfFile(HANDLE handle)
{
    auto file = detail::lookupAs<detail::HostFileObject>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->canWrite() || ::ftruncate(file->fd, static_cast<off_t>(file->position)) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
