#include "host/usb_reset.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "host/host_roots.h"
#include "host/tree_trust.h"
#include "host/usb_disks.h"

namespace host {

namespace {

std::string authorize(const std::filesystem::path& file, char value)
{
    // In a test tree the file, and every link and folder on its way, must be
    // the user's own: root writes wherever it leads.
    if (std::string why = usedEntryProblem(file, sysfsRootMoved()); !why.empty())
        return "the authorized file cannot be trusted: " + why;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return "cannot open " + file.string() + ": " + std::strerror(errno) +
               (errno == EACCES ? " (run as root)" : "");
    const bool ok = ::write(fd, &value, 1) == 1;
    const int saved = errno;
    ::close(fd);
    return ok ? std::string() : "cannot write " + file.string() + ": " + std::strerror(saved);
}

constexpr std::chrono::milliseconds kLeaveLimit{5000};

// With udev running, a disk the kernel has just attached is not ready for
// us until udev has handled it: until then its node is root's alone (the
// group that lets a user in comes from udev's rules), and udev may yet open
// and re-read it. udev marks a device it has handled with its database file.
bool handledByUdev(const HostDisk& disk)
{
    if (sysfsRootMoved() || devRootMoved() || !std::filesystem::exists("/run/udev/control"))
        return true;
    char dev[32] = {};
    const int fd = ::open((disk.folder / "dev").c_str(), O_RDONLY | O_CLOEXEC);
    const ssize_t n = fd < 0 ? -1 : ::read(fd, dev, sizeof dev - 1);
    if (fd >= 0)
        ::close(fd);
    if (n <= 0)
        return false;
    std::string number(dev, static_cast<std::size_t>(n));
    number.erase(number.find_last_not_of("\n") + 1);
    return std::filesystem::exists("/run/udev/data/b" + number);
}

}  // namespace

bool waitForUsbDisk(const std::string& port, bool present, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    // Short looks first: a device the kernel answers at once is not kept
    // waiting a whole step; a slow one is looked at every 20 ms.
    std::chrono::milliseconds pause{1};
    for (;;) {
        const auto disks = scanHostDisks();
        const bool there = std::any_of(disks.begin(), disks.end(), [&](const HostDisk& d) {
            return d.usb && d.port == port && (!present || handledByUdev(d));
        });
        if (there == present)
            return true;
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

std::filesystem::path usbDeviceAt(const std::string& port)
{
    return sysfsRoot() / "bus" / "usb" / "devices" / port;
}

std::string resetUsbDevice(const std::string& port, bool comeBack)
{
    if (std::string why = hostRootsProblem(); !why.empty())
        return why;
    const auto file = usbDeviceAt(port) / "authorized";
    if (std::string why = authorize(file, '0'); !why.empty())
        return why;
    // Let back only once its disk has left, or the old disk would pass for
    // the returned one.
    if (!waitForUsbDisk(port, false, kLeaveLimit))
        return "its disk did not leave after the device was taken off the bus";
    return comeBack ? authorize(file, '1') : std::string();
}

}  // namespace host
