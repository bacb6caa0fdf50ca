// Removing or restarting a disk's USB device through the device console
// tool in the shared templates folder, and finding the disk again after a
// restart.
#include <cstdio>
#include <cstring>
#include <string>

#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_api_support.h"
#include "common/kx_process.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "platform/win_api.h"
#include "parted/kx_session.h"

namespace {

constexpr win::DWORD kToolWaitMs = 20000;
constexpr std::size_t kTextSize = 1024;

// Runs "<templates>\cmddev.exe <verb> "USB\VID_xxxx&PID_yyyy"": true when
// the tool ran and ended in success within its time.
bool runDeviceTool(const char* verb, const char* usbId)
{
    char hardwareId[KX_USB_ID_SIZE] = {};
    std::snprintf(hardwareId, sizeof hardwareId, "%s", usbId);
    if (char* last = std::strrchr(hardwareId, '\\'))
        *last = '\0';

    char folder[kTextSize] = {};
    win::SHGetSpecialFolderPathA(nullptr, folder, win::CSIDL_COMMON_TEMPLATES, win::FALSE);
    char commandLine[kTextSize] = {};
    // Quoted: older Windows keeps the folder under "Documents and Settings",
    // and an unquoted path with spaces runs whatever "C:\Documents.exe" is.
    std::snprintf(commandLine, sizeof commandLine, "\"%s\\cmddev.exe\" %s \"%s\"", folder, verb, hardwareId);
    return kx::runHiddenTool(commandLine, kToolWaitMs) == 0;
}

// This process's own hold on the disk (a job's lock) is let go before its
// device leaves: a descriptor left open on a host disk keeps the disk's name
// taken, and it would come back under another.
void letGoOfDisk(const char* devpath)
{
    unsigned number = 0;
    if (std::sscanf(devpath, "\\Device\\Harddisk%u\\Partition0", &number) != 1)
        return;
    const std::string drive = "\\\\.\\PhysicalDrive" + std::to_string(number);
    const win::HANDLE h = win::CreateFileA(drive.c_str(), 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                           win::OPEN_EXISTING, 0, nullptr);
    if (h == win::INVALID_HANDLE_VALUE)
        return;
    win::DWORD returned = 0;
    win::DeviceIoControl(h, win::FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr);
    win::CloseHandle(h);
}

// The lock is let go before the tool runs. 1 only when the tool says it did
// the work: a restart that never happened must not pass for one.
int actOnDevice(const kx::Where& at, const char* verb, const char* devpath, char* out)
{
    if (!kx::usbIdOf(at, devpath, out))
        return 0;
    letGoOfDisk(devpath);
    return runDeviceTool(verb, out) ? 1 : 0;
}

}  // namespace

extern "C" {

int kx_dev_remove(const char* devpath, char* out)
{
    KX_REQUIRE_STARTED(0);
    return actOnDevice(KX_HERE(kx::source::kxPart), "remove", devpath, out);
}

int kx_dev_restart(const char* devpath, char* out)
{
    KX_REQUIRE_STARTED(0);
    return actOnDevice(KX_HERE(kx::source::kxPart), "restart", devpath, out);
}

int kx_dev_get_dev_restart(kx_device** out, const char* usb_id)
{
    KX_REQUIRE_STARTED(0);
    if (!out) {
        KX_REPORT(kx::source::kxPart, "out == NULL");
        return 0;
    }
    if (!usb_id) {
        KX_REPORT(kx::source::kxPart, "usb_id == NULL");
        return 0;
    }
    // Held across each walk so that no other thread frees the handles it
    // reads; the calls inside take it again as its owner.
    kx::LibraryLock lock;
    kx_dev_destroy();
    for (int round = 0; round < 5; ++round) {
        kx_dev_probe();
        for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0)) {
            char id[KX_USB_ID_SIZE] = {};
            if (kx_dev_get_vid_info(d->path, id) && std::strcmp(id, usb_id) == 0) {
                *out = d;
                return 1;
            }
        }
    }
    return 0;
}

}  // extern "C"
