// A block device named as a disk's backing is opened by its own path only:
// a link on the way (/dev/disk/by-id, a folder switched for a link) could
// lead root to another device after the checks were made.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/host_checks.h"

namespace machine {

namespace fs = std::filesystem;

fs::path linkOnPath(const fs::path& path)
{
    fs::path at = path.root_path();
    for (const auto& part : path.relative_path()) {
        at /= part;
        struct stat st {};
        if (::lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return at;
    }
    return {};
}

int openWithoutAnyLink(const fs::path& path, int flags)
{
    if (!path.is_absolute()) {
        errno = EINVAL;
        return -1;
    }
    // One name at a time from /, each looked at on its own descriptor, so
    // no name can be switched for a link between the look and the use.
    int dir = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> parts;
    for (const auto& part : path.relative_path())
        if (!part.empty() && part != ".")
            parts.push_back(part.string());
    for (std::size_t i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        const int next = ::openat(dir, parts[i].c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        ::close(dir);
        dir = next;
        struct stat st {};
        if (dir >= 0 && (::fstat(dir, &st) != 0 || !S_ISDIR(st.st_mode))) {
            const int why = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
            ::close(dir);
            dir = -1;
            errno = why;
        }
    }
    if (dir < 0)
        return -1;
    const int fd = parts.empty() ? ::openat(dir, ".", flags | O_CLOEXEC)
                                 : ::openat(dir, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
    const int saved = errno;
    ::close(dir);
    errno = saved;
    return fd;
}

}  // namespace machine
