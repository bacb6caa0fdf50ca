#include "parted/kx_api_support.h"

#include <cstdint>

#include "arch/pedwinbase.h"
#include "common/kx_lock.h"

namespace kx {

bool waitForPartitions(const std::string& devpath, win::DWORD pauseMs)
{
    for (int round = 0; round < 3; ++round) {
        // Looked up afresh: the list may change while the lock is let go.
        if (PedWinPartCheckReady(PedWinDeviceDiskGet(devpath.c_str())))
            return true;
        sleepUnlocked(pauseMs);
        PedWinDeviceDiskProbe(devpath.c_str());
    }
    return false;
}

int handleNumber(const void* handle)
{
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(handle));
}

int usbIdOf(const Where& at, const char* devpath, char* out)
{
    if (!devpath) {
        report(at, "devpath == NULL");
        return 0;
    }
    if (!out) {
        report(at, "out == NULL");
        return 0;
    }
    // The list may be changing under a probe on another thread.
    LibraryLock lock;
    return PwdWinDeviceGetVidInfo(devpath, out);
}

std::string logText(const char* text)
{
    return text ? text : "(null)";
}

std::string devicePathOf(const kx_disk* disk)
{
    const PedWinDev* entry = entryOfDisk(disk);
    return entry && entry->dev.path ? entry->dev.path : "";
}

std::string diskPathOf(const kx_disk* disk)
{
    return entryOfDisk(disk) ? logText(disk->path) : logText(nullptr);
}

}  // namespace kx
