#include "machine/machine_open.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "machine/owned_fd.h"
#include "platform/machine.h"

namespace machine {

namespace {

// The path below the machine folder, or empty when it lies elsewhere.
std::filesystem::path below(const std::filesystem::path& host, const std::filesystem::path& folder)
{
    const auto rel = host.lexically_normal().lexically_relative(folder.lexically_normal());
    if (rel.empty() || *rel.begin() == ".." || rel == ".")
        return {};
    return rel;
}

}  // namespace

int openPartByPart(int folder, const std::filesystem::path& rel, int flags, mode_t mode)
{
    std::vector<std::string> parts;
    for (const auto& part : rel)
        parts.push_back(part.string());
    if (parts.empty() || parts.back() == "..") {
        errno = parts.empty() ? EINVAL : EXDEV;
        return -1;
    }
    int at = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    for (std::size_t i = 0; at >= 0 && i + 1 < parts.size(); ++i) {
        int next = -1;
        if (parts[i] == "..") {
            errno = EXDEV;
        } else {
            next = ::openat(at, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat st {};
            if (next < 0 && errno == ENOTDIR && ::fstatat(at, parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                errno = ELOOP;
        }
        const int saved = errno;
        ::close(at);
        errno = saved;
        at = next;
    }
    if (at < 0)
        return -1;
    const int fd = ::openat(at, parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    const int saved = errno;
    ::close(at);
    errno = saved;
    return fd;
}

int openWithoutLinks(const std::filesystem::path& host, int flags, mode_t mode)
{
    std::shared_ptr<Machine> m;
    try {
        m = current();
    } catch (const std::exception&) {
    }
    const auto rel = m ? below(host, m->dir()) : std::filesystem::path();
    if (!rel.empty()) {
        // Beneath the folder the machine holds: the one that was checked.
        open_how how{};
        how.flags = static_cast<std::uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
        how.mode = (flags & O_CREAT) ? mode : 0;
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const long fd = ::syscall(SYS_openat2, m->folderFd(), rel.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS)
            return static_cast<int>(fd);
        return openPartByPart(m->folderFd(), rel, flags, mode);
    }
    // Files outside the machine: the last part only.
    return ::open(host.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

std::string shownPath(const std::filesystem::path& host)
{
    try {
        const auto m = current();
        if (const auto rel = below(host, m->dir()); !rel.empty())
            return (m->shownDir() / rel).string();
    } catch (const std::exception&) {
    }
    return host.string();
}

}  // namespace machine
