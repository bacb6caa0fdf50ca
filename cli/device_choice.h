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

}  // namespace cli
