#include "cli/device_list.h"

#include "kx/kx.h"
#include "platform/win_api.h"

namespace cli {

namespace {

std::string windowsDirectory()
{
    char text[win::MAX_PATH + 1] = {};
    win::GetWindowsDirectoryA(text, win::MAX_PATH);
    return text;
}

std::string firstDrive(const char* devpath)
{
    kx_disk* disk = kx_disk_get(devpath);
    PedWinPart* first = disk ? kx_part_getinfo(disk, nullptr, KX_PART_ALL) : nullptr;
    return first && first->mountpoint ? first->mountpoint : "";
}

}  // namespace

std::string ListedDevice::label() const
{
    return drive.empty() ? name : name + " - Drives(" + drive + ")";
}

std::vector<ListedDevice> listDevices()
{
    const std::string windows = windowsDirectory();
    std::vector<ListedDevice> devices;
    for (kx_device* d = kx_dev_get(nullptr, 0, 0); d; d = kx_dev_get(d, 0, 0)) {
        if (!d->path)
            continue;
        ListedDevice device{d->path, d->name ? d->name : "", firstDrive(d->path)};
        // A disk whose first drive holds the Windows directory runs Windows.
        if (!device.drive.empty() && windows.find(device.drive) != std::string::npos)
            continue;
        devices.push_back(device);
    }
    return devices;
}

}  // namespace cli
