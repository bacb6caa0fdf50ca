// What the application asks of the candidate list: the USB storage disks
// that pass its filters, a disk's USB parent, whether a disk is removable,
// and whether it needs to be set up.
#include <cstdio>
#include <cstring>
#include <string>

#include "windev/pedwin_devices.h"
#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"

namespace kx {

namespace {

using source::pedWinBase;

constexpr const char* kEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const char* kRemovableMediaKey = "SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia";
constexpr win::DWORD kMaxSubKeys = 10000;
// Sector 0x1E000 (60 MiB): a first partition starting after it was laid
// out by the appliance's own tools.
constexpr std::int64_t kApplianceLayoutStart = 122880;

bool contains(const char* text, const char* part)
{
    return text && part && std::strstr(text, part);
}

// Is the candidate a disk of a present USB device with this vendor id?
bool hasVendor(const PedWinDev* dev, int vid)
{
    char text[16];
    std::snprintf(text, sizeof text, "VID_%04x", static_cast<unsigned>(vid));
    const std::string wanted = upperCase(text);
    bool found = false;
    forEachPresentDevice(win::GUID_DEVCLASS_USB, [&](win::HDEVINFO, win::SP_DEVINFO_DATA&, const char* id) {
        const std::string usb = upperCase(id);
        const std::string serial = lastPart(usb);
        found = usb.find(wanted) != std::string::npos && !serial.empty() && contains(dev->name, serial.c_str());
        return !found;
    });
    return found;
}

PedWinDev* byDevicePath(const char* devpath)
{
    for (PedWinDev* c = candidates(); c; c = c->next) {
        if (!c->dev.path) {
            KX_REPORT(pedWinBase, "windev->dev.path != NULL");
            return nullptr;
        }
        if (std::strcmp(c->dev.path, devpath) == 0)
            return c;
    }
    return nullptr;
}

// Is the record the device of a partition of this table? Records of
// partitions from earlier reads of the table stay registered.
bool linkedTo(const PedDevice* record, const ::PedDisk* disk)
{
    for (::PedPartition* p = nextTopLevel(disk, nullptr); p; p = nextTopLevel(disk, p)) {
        if (partData(p) && partData(p)->dev == record)
            return true;
        if (p->type & PED_PARTITION_EXTENDED)
            for (::PedPartition* l = nextLogical(disk, nullptr); l; l = nextLogical(disk, l))
                if (partData(l) && partData(l)->dev == record)
                    return true;
    }
    return false;
}

bool firstEntryProtected(const ::PedDisk* disk)
{
    const ::PedPartition* first = disk ? nextTopLevel(disk, nullptr) : nullptr;
    return first && first->type == PED_PARTITION_PROTECTED;
}

}  // namespace

kx_device* nextMatchingDevice(const kx_device* prev, int flag, int vid)
{
    PedWinDev* c = candidates();
    if (prev) {
        while (c && &c->dev != prev)
            c = c->next;
        if (!c)
            return nullptr;
        c = c->next;
    }
    for (; c; c = c->next) {
        if ((flag != 2 || c->dev.removable) && contains(c->name, "USBSTOR\\") && (vid == 0 || hasVendor(c, vid)))
            return &c->dev;
    }
    return nullptr;
}

int PwdWinDeviceGetVidInfo(const char* devpath, char* out)
{
    if (!devpath || !out)
        return 0;
    const PedWinDev* dev = byDevicePath(devpath);
    if (!dev)
        return 0;
    bool found = false;
    forEachPresentDevice(win::GUID_DEVCLASS_USB, [&](win::HDEVINFO, win::SP_DEVINFO_DATA&, const char* id) {
        const std::string usb = upperCase(id);
        const std::string serial = lastPart(usb);
        if (serial.empty() || !contains(dev->name, serial.c_str()) || usb.find("VID_") == std::string::npos ||
            usb.find("PID_") == std::string::npos)
            return true;
        std::snprintf(out, KX_USB_ID_SIZE, "%s", usb.c_str());
        found = true;
        return false;
    });
    return found ? 1 : 0;
}

int isRemovableDisk(const char* instanceId)
{
    if (!instanceId)
        return 0;
    const std::string key = std::string(kEnumKey) + instanceId;
    char prefix[KX_REG_STRING_SIZE] = {};
    char subkey[KX_REG_STRING_SIZE] = {};
    if (kx_get_reg_string(KX_HKEY_LOCAL_MACHINE, "ParentIdPrefix", prefix, key.c_str()) == 0 && prefix[0]) {
        win::HKEY media = nullptr;
        if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kRemovableMediaKey, 0, win::KEY_READ, &media) ==
            win::ERROR_SUCCESS) {
            bool found = false;
            for (win::DWORD index = 0; index <= kMaxSubKeys && !found; ++index) {
                if (win::RegEnumKeyA(media, index, subkey, sizeof subkey) != win::ERROR_SUCCESS)
                    break;
                found = std::strstr(subkey, prefix) != nullptr;
            }
            win::RegCloseKey(media);
            if (found) {
                kx_printf("OK:[%s:%s:%d]:subkey=%s, value=%s \n", KX_WHERE(pedWinBase), subkey, prefix);
                return 1;
            }
        }
    }
    kx_printf("ERR:[%s:%s:%d]:Miss %s, subkey=%s, value=%s \n", KX_WHERE(pedWinBase), instanceId, subkey, prefix);
    return 0;
}

int PedWinDeviceIsNeedFormat(const char* devpath)
{
    if (!devpath) {
        KX_REPORT(pedWinBase, "devpath == NULL");
        return 0;
    }
    const PedWinDev* owner = byDevicePath(devpath);
    if (!owner)
        return 3;
    const PedDevice* own = owner->peddev;
    const std::size_t length = own && own->path ? std::strlen(own->path) : 0;
    if (length == 0 || own->path[length - 1] != '0')
        return 0;
    // Records after the disk's own belong to other disks too, and to
    // partitions of earlier reads of this table; only its present
    // partitions count.
    if (firstEntryProtected(own->disk))
        return 2;
    const std::string partitionOne = std::string(own->path, length - 1) + "1";
    for (const PedDevice* d = own->next; d; d = d->next) {
        if (d->path && partitionOne == d->path && linkedTo(d, own->disk))
            return d->geom.start > kApplianceLayoutStart ? 2 : 1;
    }
    return 0;
}

}  // namespace kx
