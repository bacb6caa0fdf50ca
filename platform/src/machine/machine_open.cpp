#include "machine/machine_open.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

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

int openWithoutLinks(const std::filesystem::path& host, int flags, mode_t mode)
{
    std::filesystem::path dir;
    try {
        dir = current()->dir();
    } catch (const std::exception&) {
    }
    const auto rel = dir.empty() ? dir : below(host, dir);
    if (!rel.empty()) {
        const win::detail::Fd folder(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() >= 0) {
            open_how how{};
            how.flags = static_cast<std::uint64_t>(flags | O_NOFOLLOW | O_CLOEXEC);
            how.mode = (flags & O_CREAT) ? mode : 0;
            how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
            const long fd = ::syscall(SYS_openat2, folder.get(), rel.c_str(), &how, sizeof how);
            if (fd >= 0 || errno != ENOSYS)
                return static_cast<int>(fd);
        }
    }
    // Older kernels, and files outside the machine: the last part only.
    return ::open(host.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

}  // namespace machine
