// Which disk a command works on: the one named with --device, else the only
// USB storage disk attached.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/device_list.h"

namespace cli {

// The chosen device's path; throws CommandFailure when there is none to
// choose or the choice is not clear.
std::string chooseDevice(const std::vector<ListedDevice>& devices, const std::optional<std::string>& named);

// A worker of --all is given its disk by path and by its USB device's id:
// the disk at that path must still be that device, or nothing is written
// (another may have taken its number since). Throws CommandFailure.
// Only that device is listed (LibrarySession's onlyUsbId).
void checkGivenDisk(const std::vector<ListedDevice>& devices, const std::optional<std::string>& devpath,
                    const std::optional<std::string>& usbId);

// The USB device id of a listed disk, or empty.
std::string usbIdOf(const std::string& devpath);

}  // namespace cli
