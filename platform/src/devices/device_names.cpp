// How Windows names a disk drive and its USB parent.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/machine.h"
#include "text/text_util.h"

namespace machine {

namespace {

// Instance ids carry the SCSI fields cut to their width, blanks as underscores.
std::string idField(const std::string& text, size_t width)
{
    std::string out = toUpper(trimRight(text).substr(0, width));
    std::replace(out.begin(), out.end(), ' ', '_');
    return out;
}

}  // namespace

std::string friendlyNameOf(const Disk& disk)
{
    if (!disk.friendlyName.empty())
        return disk.friendlyName;
    const std::string vendor = trimRight(disk.vendor);
    const std::string product = trimRight(disk.product);
    if (disk.usb)
        return vendor + " " + product + " USB Device";
    if (vendor == "ATA")
        return product + " ATA Device";
    return vendor + " " + product + " SCSI Disk Device";
}

std::string diskInstanceId(const Disk& disk)
{
    const std::string fields = "DISK&VEN_" + idField(disk.vendor, 8) + "&PROD_" + idField(disk.product, 16) +
                               "&REV_" + idField(disk.revision, 4);
    // Windows keeps instance ids in upper case.
    if (disk.usb)
        return "USBSTOR\\" + fields + "\\" + toUpper(disk.serial) + "&" + std::to_string(disk.instanceGeneration);
    return "SCSI\\" + fields + "\\4&" + toUpper(disk.serial) + "&0&00000" + std::to_string(disk.slot);
}

std::string usbInstanceId(const Disk& disk)
{
    char ids[32];
    std::snprintf(ids, sizeof ids, "USB\\VID_%04X&PID_%04X\\", disk.vid, disk.pid);
    return ids + toUpper(disk.serial);
}

std::int64_t wallClockMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace machine
