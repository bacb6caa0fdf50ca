// The USB filter driver kxusbflt: its service, the upper filter list of a
// disk drive, and the restart of the drive's node that makes a new list
// take effect.
#pragma once

#include <functional>
#include <string>

#include "arch/pedwinbase.h"
#include "common/kx_message.h"
#include "platform/win_api.h"
#include "windev/pedwin_windows64.h"

namespace kx {

// Results of the per-disk operations.
enum : int {
    kUsbFilterDone = 0,
    kUsbFilterReboot = 1,  // Windows asks for a restart to finish
    kUsbFilterFailed = 2,
};

// Registers the boot-start kernel service. 1 when it is registered (now or
// before), 0 otherwise.
int UsbDriverLoad();

// The candidate whose device record has the path, or none.
PedWinDev* usbFilterCandidate(const char* devpath);

// Runs act at the present disk drive node with the instance id.
struct NodeVisit {
    bool listed = false;  // the disk drives could be enumerated
    bool done = false;    // the node was found and act succeeded
    win::DWORD error = 0; // the last error when not done
};
NodeVisit atDiskNode(const std::string& instanceId,
                     const std::function<bool(win::HDEVINFO, win::SP_DEVINFO_DATA&)>& act);

// Writes the upper filter list at the candidate's node: "kxusbflt" alone
// (attach) or the list without it (clear). Logs the outcome under at's
// name when at is given. kUsbFilterDone or kUsbFilterFailed.
int writeUsbFilterList(const PedWinDev* dev, const char* devpath, bool attach, const Where* at);

// Per-disk operations, named by the disk's path.
int PedWinDeviceUsbDriverIsLoad(const char* devpath);
int PedWinDeviceUsbDriverLoad(const char* devpath);
int PedWinDeviceUsbDriverRestore(const char* devpath);
int PedWinDeviceUsbDriverUnload(const char* devpath);
int PedWinDeviceUsbDriverTestLoad(const char* devpath);

// Disables or enables the disk drive node through its class installer.
int ChangeUsbStatus(bool disable, const std::string& instanceId);
// Restarts the node in place (64-bit Windows); logs nothing.
int restartUsbNode(const std::string& instanceId);

}  // namespace kx
