// A USB device taken off the bus and let back through sysfs, as a device
// restart does on Windows.
#pragma once

#include <filesystem>
#include <string>

namespace host {

// Writes 0 to the device's authorized file, and then 1 when comeBack.
// Empty when done, else why not.
std::string resetUsbDevice(const std::filesystem::path& usbDevice, bool comeBack);
// The sysfs folder of the USB device plugged into port ("1-1.2").
std::filesystem::path usbDeviceAt(const std::string& port);

}  // namespace host
