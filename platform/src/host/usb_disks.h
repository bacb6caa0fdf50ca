// The host's disks as sysfs shows them: each whole disk under block/ with
// the USB device it hangs from, if any, and its partitions.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace host {

struct BlockName {
    std::string name;  // "sdb1"
    dev_t id = 0;      // from its sysfs dev file
};

struct HostDisk {
    BlockName block;             // the whole disk, "sdb"
    std::filesystem::path folder;  // its sysfs folder, as reached from sysfsRoot()
    std::filesystem::path node;  // devRoot()/sdb
    bool usb = false;
    std::filesystem::path usbDevice;  // sysfs folder with idVendor, serial, authorized
    std::string port;                 // that folder's name, "1-1.2"
    std::string vendor, product, revision, serial;
    std::uint16_t vid = 0, pid = 0;
    bool removable = false;
    std::uint64_t size = 0;  // bytes
    std::vector<BlockName> partitions;
    // Why sysfs could not be trusted for this disk; empty when it could.
    std::string unreadable;
    // In a test tree: the first entry for this disk that another user
    // could have changed, with why.
    std::string untrusted;
};

// Every whole disk with a device behind it (loop and ram disks have none),
// in name order.
std::vector<HostDisk> scanHostDisks();
// The one disk named so ("sdb"), if sysfs has it now.
bool scanHostDisk(const std::string& name, HostDisk& out);
// Any block device by its number (sysfs dev/block/MAJ:MIN): a whole disk, a
// partition or a loop device, with its partitions; nothing of USB is read.
// False when sysfs has no such device.
bool scanBlockDevice(dev_t id, HostDisk& out);

}  // namespace host
