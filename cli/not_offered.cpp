#include "cli/not_offered.h"

#include <filesystem>
#include <system_error>

namespace cli {

bool NotOffered::namedBy(const std::string& device) const
{
    const std::string n = std::to_string(slot);
    if (device == backing || device == "\\Device\\Harddisk" + n + "\\Partition0" ||
        device == "\\\\.\\PhysicalDrive" + n)
        return true;
    // /dev/disk/by-id/... and other links to the same node.
    std::error_code ec;
    return device.starts_with("/") && std::filesystem::equivalent(device, backing, ec) && !ec;
}

std::string notOfferedLines(const std::vector<NotOffered>& disks, const std::string& indent)
{
    std::string text;
    for (const auto& d : disks)
        text += (text.empty() ? "" : "\n") + indent + "not offered: " + d.line;
    return text;
}

}  // namespace cli
