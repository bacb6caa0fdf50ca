// When the host's disks may have changed, for the device notices of a
// machine following them: at once on the kernel's uevents, else (no uevent
// socket, or a test tree in place of /sys) by the list of block devices
// changing between two looks.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace host {

class UeventSocket;

// Names, device numbers and sizes of the entries of <sysfs>/block.
std::string blockDeviceList();

class HostDiskWatch {
public:
    HostDiskWatch();
    ~HostDiskWatch();
    HostDiskWatch(const HostDiskWatch&) = delete;
    HostDiskWatch& operator=(const HostDiskWatch&) = delete;

    // Waits up to timeout, less when interrupted or, with following, when
    // the host's disks change. True when they may have changed since the
    // last wait; the first wait that follows says so too, as nothing was
    // watched before it.
    bool wait(std::chrono::milliseconds timeout, bool following);
    // Ends this wait and every later one at once.
    void interrupt();

private:
    bool waitForUevents(std::chrono::milliseconds timeout);
    bool waitForListChange(std::chrono::milliseconds timeout);
    // False when interrupted.
    bool sleep(std::chrono::milliseconds timeout);

    int wakeFd_ = -1;
    bool watching_ = false;
    std::unique_ptr<UeventSocket> uevents_;
    std::optional<std::string> blockList_;
};

}  // namespace host
