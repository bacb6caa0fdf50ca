// Which backings the machine may use: an image file inside its folder
// (never reached through "..", an absolute path or a symbolic link), or the
// block device add-disk recorded with its device number, named by its own
// path and not in use by the host (as the host's disks are judged); at
// least as large as the disk either way, so nothing outside is written and
// nothing grown.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/disk_guard.h"
#include "host/disk_hold.h"
#include "host/host_backing.h"
#include "platform/host_checks.h"
#include "platform/machine.h"

namespace machine {

namespace {

bool leavesFolder(const fs::path& relative)
{
    return relative.is_absolute() || relative.empty() ||
           std::any_of(relative.begin(), relative.end(), [](const fs::path& part) { return part == ".."; });
}

std::uint64_t blockDeviceSize(const fs::path& path)
{
    std::uint64_t size = 0;
    const int fd = openWithoutAnyLink(path, O_RDONLY);
    if (fd >= 0) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0)
            size = 0;
        ::close(fd);
    }
    return size;
}

}  // namespace

std::string backingProblem(const Machine& m, const Disk& disk)
{
    if (disk.host)
        return host::hostBackingProblem(disk);
    const fs::path path = m.backingPath(disk);
    const std::string named = "backing " + path.string();
    if (const auto link = disk.blockDevice ? linkOnPath(path) : fs::path(); !link.empty())
        return named + " is refused: " + link.string() + " is a symbolic link, and a backing is never reached through one";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return named + " is gone";
    std::uint64_t size = 0;
    if (disk.blockDevice) {
        if (!S_ISBLK(st.st_mode))
            return named + " is not a block device";
        if (disk.blockDeviceId == 0 || st.st_rdev != disk.blockDeviceId)
            return named + " is not the block device add-disk recorded for this disk";
        if (std::string why = host::blockDeviceRefusal(st.st_rdev); !why.empty())
            return named + " is refused: " + why;
        size = blockDeviceSize(path);
    } else {
        if (leavesFolder(fs::path(disk.backing)))
            return named + " lies outside the machine folder";
        if (!S_ISREG(st.st_mode))
            return named + " is not a regular file";
        size = static_cast<std::uint64_t>(st.st_size);
    }
    if (size < disk.size)
        return named + " holds " + std::to_string(size) + " bytes, less than the disk's " + std::to_string(disk.size);
    return {};
}

int openBacking(const Machine& m, const Disk& disk, int flags)
{
    // A disk held for a job is reached through its checked descriptor.
    if (disk.host || disk.blockDevice)
        if (const int held = host::heldDescriptor(m, disk); held >= 0)
            return held;
    if (disk.host)
        return host::openHostDisk(disk, flags);
    if (!backingProblem(m, disk).empty()) {
        errno = ENODEV;
        return -1;
    }
    if (!disk.blockDevice)
        return ::open(m.backingPath(disk).c_str(), flags | O_CLOEXEC | O_NOFOLLOW);
    // As a host disk: written only while nobody else has it open exclusively
    // or mounted, and only the device the checks looked at.
    if ((flags & O_ACCMODE) != O_RDONLY)
        flags |= O_EXCL;
    const int fd = openWithoutAnyLink(m.backingPath(disk), flags);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != disk.blockDeviceId)) {
        ::close(fd);
        errno = ENODEV;
        return -1;
    }
    return fd;
}

}  // namespace machine
