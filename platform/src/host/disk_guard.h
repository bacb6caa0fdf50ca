// The host's own system is never touched: why a host disk may not be used,
// judged from sysfs and /proc at the moment of asking.
#pragma once

#include <string>

#include "host/usb_disks.h"

namespace host {

// Empty when the disk may be used; else the reason, as a phrase ("a
// partition is mounted at /media/usb", "it is not on USB").
std::string refusalOf(const HostDisk& disk);

}  // namespace host
