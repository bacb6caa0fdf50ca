// The USB filter driver on one disk, or on every disk: is it attached,
// attach it, clear it, and the restart test of a disk's node.
#include <cstring>
#include <string>
#include <vector>

#include "arch/pedwin_usbfilter.h"
#include "kx/kx.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "parted/kx_session.h"

namespace {

using kx::source::kxPart;

// Code for a missing devpath where the result 0 means done.
constexpr int kMissingPath = 4;
// The functions' "failed".
constexpr int kNotDone = 2;

}  // namespace

extern "C" {

int kx_is_load_usb_driver_dev(const char* devpath)
{
    KX_REQUIRE_STARTED(0);
    if (!devpath) {
        KX_REPORT(kxPart, "devpath == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    kx_printf("LOG:[%s:%s:%d]: Load special USB Driver: %s\n", KX_WHERE(kxPart), devpath);
    return kx::PedWinDeviceUsbDriverIsLoad(devpath) == 0 ? 1 : 0;
}

int kx_test_load_usb_driver_dev(const char* devpath)
{
    KX_REQUIRE_STARTED(kNotDone);
    if (!devpath) {
        KX_REPORT(kxPart, "devpath == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    kx_printf("LOG:[%s:%s:%d]: Test Load special USB Driver: %s\n", KX_WHERE(kxPart), devpath);
    const int load = kx::PedWinDeviceUsbDriverTestLoad(devpath);
    kx_printf("LOG:[%s:%s:%d]: USB Driver isn't loaded: %s, load: %d\n", KX_WHERE(kxPart), devpath, load);
    return load;
}

int kx_load_usb_driver_dev(const char* devpath)
{
    KX_REQUIRE_STARTED(kNotDone);
    if (!devpath) {
        KX_REPORT(kxPart, "devpath == NULL");
        return kMissingPath;
    }
    kx::LibraryLock lock;
    kx_printf("LOG:[%s:%s:%d]: Load special USB Driver: %s\n", KX_WHERE(kxPart), devpath);
    if (kx::PedWinDeviceUsbDriverIsLoad(devpath) == 0)
        return 0;
    const int load = kx::PedWinDeviceUsbDriverLoad(devpath);
    // A disk is never left with a filter that did not come up.
    if (load != 0)
        kx::PedWinDeviceUsbDriverRestore(devpath);
    kx_printf("LOG:[%s:%s:%d]: USB Driver isn't loaded: %s, load: %d\n", KX_WHERE(kxPart), devpath, load);
    return load;
}

int kx_unload_usb_driver_dev(const char* devpath)
{
    KX_REQUIRE_STARTED(kNotDone);
    if (!devpath) {
        KX_REPORT(kxPart, "devpath == NULL");
        return kMissingPath;
    }
    kx::LibraryLock lock;
    const int load = kx::PedWinDeviceUsbDriverUnload(devpath);
    kx_printf("LOG:[%s:%s:%d]: Unload USB Driver Device: %s, load: %d\n", KX_WHERE(kxPart), devpath, load);
    return load;
}

// Attaches the filter to every USB disk without one. The outcome of each
// attach goes to the log only; the result is always 1.
int kx_load_usb_driver_dev_all(void)
{
    KX_REQUIRE_STARTED(0);
    {
        // Held for the walk: another thread's probe would free the list under it.
        kx::LibraryLock lock;
        std::vector<std::string> paths;
        // USB disks only: the system disk must never be stopped or filtered.
        for (const kx::PedWinDev* c = kx::candidates(); c; c = c->next)
            if (c->peddev && c->peddev->path && c->name && std::strncmp(c->name, "USBSTOR\\", 8) == 0)
                paths.emplace_back(c->peddev->path);
        for (const std::string& path : paths) {
            if (kx::PedWinDeviceUsbDriverIsLoad(path.c_str()) != 0)
                kx::PedWinDeviceUsbDriverLoad(path.c_str());
        }
    }
    kx_printf("OK:[%s:%s:%d]: USB Driver Load All\n", KX_WHERE(kxPart));
    return 1;
}

}  // extern "C"
