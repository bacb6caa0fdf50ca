#include "devices/direct_io.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

namespace win::detail {

DirectIo::~DirectIo() { reset(); }

void DirectIo::reset()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    opened_ = false;
}

int DirectIo::fdFor(int buffered, const void* buffer, std::uint64_t offset, std::uint64_t count)
{
    if (block_ == 0) {
        int sector = 0;
        if (::ioctl(buffered, BLKSSZGET, &sector) != 0 || sector < 512)
            return buffered;
        block_ = static_cast<unsigned>(sector);
    }
    const bool aligned = reinterpret_cast<std::uintptr_t>(buffer) % block_ == 0 && offset % block_ == 0 &&
                         count % block_ == 0 && count > 0;
    if (!aligned)
        return buffered;
    if (!opened_) {
        opened_ = true;
        // Reopened through /proc, so it is the very device the buffered
        // descriptor holds, not whatever the name means now. Not O_EXCL: the
        // buffered descriptor holds the claim.
        const int flags = ::fcntl(buffered, F_GETFL);
        const std::string self = "/proc/self/fd/" + std::to_string(buffered);
        if (flags >= 0)
            fd_ = ::open(self.c_str(), (flags & (O_ACCMODE | O_DSYNC)) | O_DIRECT | O_CLOEXEC);
    }
    return fd_ >= 0 ? fd_ : buffered;
}

}  // namespace win::detail
