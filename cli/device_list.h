// The USB storage disks as the device search lists them: each with its
// path, its name and the drive letter of its first partition; the disk
// that holds Windows is left out.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct ListedDevice {
    std::string path;   // "\Device\HarddiskN\Partition0"
    std::string name;   // friendly name
    std::string drive;  // "X:" of the first partition, or empty
    // "name - Drives(X:)", or the bare name without a drive.
    std::string label() const;
};

// In the library's order. Needs a LibrarySession.
std::vector<ListedDevice> listDevices();

}  // namespace cli
