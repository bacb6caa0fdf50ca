// Attaching kxusbflt to a disk, taking it off again with a restart, and the
// restart test: each writes or keeps the filter list, then restarts the
// disk's node so the list takes effect.
#include "arch/pedwin_usbfilter.h"

namespace kx {

namespace {

using source::pedWinBase;

constexpr win::DWORD kAfterWriteMs = 500;
constexpr win::DWORD kDisabledMs = 2000;

PedWinDev* candidateOrReport(const Where& at, const char* devpath)
{
    PedWinDev* dev = usbFilterCandidate(devpath);
    if (!dev)
        kx_printf("ERR:[%s:%s:%d] Cann't find device: %s\n", at.module, at.function, at.line, devpath);
    return dev;
}

// The disk's filter list rewritten, then the wait Windows needs; the
// node's instance id comes back for the restart that follows.
int writeListThenWait(const Where& at, const char* devpath, bool attach, std::string* id)
{
    const PedWinDev* dev = candidateOrReport(at, devpath);
    if (!dev)
        return kUsbFilterFailed;
    *id = dev->name;
    const int written = writeUsbFilterList(dev, devpath, attach, &at);
    win::Sleep(kAfterWriteMs);
    return written;
}

}  // namespace

int PedWinDeviceUsbDriverLoad(const char* devpath)
{
    std::string id;
    if (writeListThenWait(KX_HERE(pedWinBase), devpath, true, &id) != kUsbFilterDone)
        return kUsbFilterFailed;
    if (isWindows64())
        return restartUsbNode(id);
    const int disabled = ChangeUsbStatus(true, id);
    if (disabled == kUsbFilterDone) {
        win::Sleep(kDisabledMs);
        return ChangeUsbStatus(false, id);
    }
    kx_printf("[%s:%s:%d] Fail to ChangUsbStatus(%s)!\n", KX_WHERE(pedWinBase), id.c_str());
    // The node must not stay disabled (or become so at the next boot).
    if (disabled == kUsbFilterReboot)
        win::Sleep(kDisabledMs);
    ChangeUsbStatus(false, id);
    return disabled;
}

int PedWinDeviceUsbDriverRestore(const char* devpath)
{
    std::string id;
    if (writeListThenWait(KX_HERE(pedWinBase), devpath, false, &id) != kUsbFilterDone)
        return kUsbFilterFailed;
    if (isWindows64())
        return restartUsbNode(id);
    const int enabled = ChangeUsbStatus(false, id);
    if (enabled != kUsbFilterDone)
        kx_printf("[%s:%s:%d] Fail to ChangUsbStatus(%s)!\n", KX_WHERE(pedWinBase), id.c_str());
    return enabled;
}

int PedWinDeviceUsbDriverTestLoad(const char* devpath)
{
    const PedWinDev* dev = candidateOrReport(KX_HERE(pedWinBase), devpath);
    if (!dev)
        return kUsbFilterFailed;
    const std::string id = dev->name;
    if (isWindows64())
        return restartUsbNode(id);
    const int disabled = ChangeUsbStatus(true, id);
    if (disabled == kUsbFilterDone) {
        win::Sleep(kDisabledMs);
        return ChangeUsbStatus(false, id);
    }
    if (disabled == kUsbFilterReboot) {
        win::Sleep(kDisabledMs);
        kx_printf("[%s:%s:%d] Enabe Usb Drive(%s)!\n", KX_WHERE(pedWinBase), id.c_str());
    } else {
        kx_printf("[%s:%s:%d] Fail to PedWinDeviceUsbDriverTestLoad(%s)!\n", KX_WHERE(pedWinBase), devpath);
    }
    ChangeUsbStatus(false, id);
    return disabled;
}

}  // namespace kx
