// What an existing file or block device offers as a disk's backing.
#pragma once

#include <cstdint>
#include <string>

namespace machine_tool {

struct Backing {
    std::string path;  // absolute, so it does not depend on the machine folder
    std::uint64_t size = 0;
    bool blockDevice = false;
};

// Throws machine::MachineError when it cannot back a disk.
Backing probeBacking(const std::string& given);

}  // namespace machine_tool
