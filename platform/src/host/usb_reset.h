// A USB device taken off the bus and let back through sysfs, as a device
// restart does on Windows.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace host {

// Writes 0 to the authorized file of the USB device in port, waits for its
// disk to leave, and then writes 1 when comeBack. Empty when done, else why
// not.
std::string resetUsbDevice(const std::string& port, bool comeBack);
// Waits until a disk hangs from the USB device in port, and udev (when it
// runs) has handled it (present), or none does: true then, false after
// limit. A device console tool's restart ends only once the device is back.
bool waitForUsbDisk(const std::string& port, bool present, std::chrono::milliseconds limit);
// The sysfs folder of the USB device plugged into port ("1-1.2").
std::filesystem::path usbDeviceAt(const std::string& port);

}  // namespace host
