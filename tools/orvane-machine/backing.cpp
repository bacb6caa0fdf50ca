#include "backing.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/host_checks.h"
#include "platform/machine.h"

namespace machine_tool {

Backing probeBacking(const std::string& given)
{
    Backing b;
    // The machine reads relative backings against its own folder, not ours.
    b.path = machine::fs::absolute(given).lexically_normal().string();
    // Never through a link: what is recorded must be what is written.
    if (const auto link = machine::linkOnPath(b.path); !link.empty())
        throw machine::MachineError("backing " + b.path + " is refused: " + link.string() +
                                    " is a symbolic link, and a backing is never reached through one; give the "
                                    "file or device by its own path");
    const int fd = machine::openWithoutAnyLink(b.path, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        throw machine::MachineError("cannot open backing " + b.path + ": " + std::strerror(errno));
    struct stat st {};
    bool sized = ::fstat(fd, &st) == 0;
    if (sized && S_ISBLK(st.st_mode)) {
        b.blockDevice = true;
        sized = ::ioctl(fd, BLKGETSIZE64, &b.size) == 0;
    } else if (sized && S_ISREG(st.st_mode)) {
        b.size = static_cast<std::uint64_t>(st.st_size);
    } else if (sized) {
        ::close(fd);
        throw machine::MachineError("backing " + b.path + " is neither a file nor a block device");
    }
    const int err = errno;
    ::close(fd);
    if (!sized)
        throw machine::MachineError("cannot get the size of " + b.path + ": " + std::strerror(err));
    if (b.size == 0 || b.size % 512 != 0)
        throw machine::MachineError("backing " + b.path + " holds " + std::to_string(b.size) +
                                    " bytes, not a non-zero multiple of 512");
    return b;
}

}  // namespace machine_tool
