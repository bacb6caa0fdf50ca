#include "cli/device_choice.h"

#include "cli/library_session.h"

namespace cli {

std::string chooseDevice(const std::vector<ListedDevice>& devices, const std::optional<std::string>& named)
{
    if (named) {
        for (const auto& d : devices)
            if (d.path == *named)
                return d.path;
        throw CommandFailure("no USB storage disk at " + *named + " (see orvane devices)");
    }
    if (devices.empty())
        throw CommandFailure("no USB storage disk found");
    if (devices.size() > 1) {
        std::string text = "several USB storage disks are attached; choose one with --device:";
        for (const auto& d : devices)
            text += "\n  " + d.path + "\t" + d.label();
        throw CommandFailure(text);
    }
    return devices.front().path;
}

}  // namespace cli
