#include "host/host_backing.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "host/disk_guard.h"
#include "host/host_roots.h"
#include "host/tree_trust.h"
#include "host/usb_disks.h"
#include "platform/host_checks.h"

namespace host {

std::string hostBackingProblem(const machine::Disk& disk)
{
    if (std::string why = hostRootsProblem(); !why.empty())
        return "host disks are not followed: " + why;
    if (!disk.hostRefusal.empty())
        return disk.hostRefusal;
    const std::filesystem::path node(disk.backing);
    HostDisk now;
    if (!scanHostDisk(node.filename().string(), now) || now.node != node)
        return "host disk " + disk.backing + " is gone";
    if (std::string why = refusalOf(now); !why.empty())
        return "host disk " + disk.backing + " is refused: " + why;
    struct stat st {};
    if (::lstat(node.c_str(), &st) != 0)
        return "host disk " + disk.backing + " is gone";
    if (S_ISBLK(st.st_mode)) {
        if (st.st_rdev != now.block.id || st.st_rdev != disk.blockDeviceId)
            return "host disk " + disk.backing + " is not the device found for this slot";
    } else if (!(S_ISREG(st.st_mode) && devRootMoved() && st.st_ino == disk.blockDeviceId)) {
        return "host disk " + disk.backing + " is not a block device";
    }
    // A block device's size as sysfs gives it: opening the node to ask would
    // fail for a user without the right, before the open that says so.
    const std::uint64_t size = S_ISBLK(st.st_mode) ? now.size : static_cast<std::uint64_t>(st.st_size);
    if (size < disk.size)
        return "host disk " + disk.backing + " holds " + std::to_string(size) + " bytes, less than the disk's " +
               std::to_string(disk.size);
    return {};
}

int openHostDisk(const machine::Disk& disk, int flags)
{
    if (!hostBackingProblem(disk).empty()) {
        errno = ENODEV;
        return -1;
    }
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (writing)
        flags |= O_DSYNC | (disk.blockDevice ? O_EXCL : 0);
    int fd = ::open(disk.backing.c_str(), flags | O_CLOEXEC | O_NOFOLLOW);
    // Another program holds the disk exclusively (a job of another machine
    // folder): it may still be looked at, as an identity query opened for
    // writing does, but every write through this open fails.
    if (fd < 0 && errno == EBUSY && writing && disk.blockDevice)
        fd = ::open(disk.backing.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        const int saved = errno;
        std::cerr << "machine: cannot open " << disk.backing << ": " << std::strerror(saved)
                  << "; run as root or as a member of group disk\n";
        errno = saved;
    }
    return fd;
}

void rereadHostTable(int fd, const std::string& node)
{
    if (::ioctl(fd, BLKRRPART) == 0)
        return;
    const int saved = errno;
    if (saved == ENOTTY || saved == EINVAL)
        return;  // a plain file in a test tree has no table for the kernel
    std::cerr << "machine: warning: the host kernel did not re-read the partition table of " << node << ": "
              << std::strerror(saved) << (saved == EBUSY ? " (a partition is in use; it reads it when the disk comes back)" : "")
              << '\n';
}

}  // namespace host

namespace machine {

std::string blockBackingProblem(const std::filesystem::path& path)
{
    if (const auto link = linkOnPath(path); !link.empty())
        return link.string() + " is a symbolic link, and a backing is never reached through one";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return std::string("it cannot be found: ") + std::strerror(errno);
    if (!S_ISBLK(st.st_mode))
        return "it is not a block device";
    return host::blockDeviceRefusal(st.st_rdev);
}

}  // namespace machine
