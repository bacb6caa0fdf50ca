// The host's own system is never touched: why a host disk may not be used,
// judged from sysfs and /proc at the moment of asking.
#pragma once

#include <sys/types.h>

#include <string>

#include "host/usb_disks.h"

namespace host {

// Empty when the disk may be used; else the reason, as a phrase ("a
// partition is mounted at /media/usb", "it is not on USB").
std::string refusalOf(const HostDisk& disk);
// The same judgement of what the host does with a block device and its
// partitions (mounted, swap, held, under a loop device), for any block
// device found by its number: the backing of an emulated disk.
std::string blockDeviceRefusal(dev_t id);

}  // namespace host
