// The host formatter's command line for a volume written into a file of
// the partition's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/volume_format.h"

namespace win::detail {

struct VolumePlacement {
    std::uint64_t bytes = 0;           // the partition's length
    std::uint32_t hiddenSectors = 0;   // as the partition information gives it
    std::uint32_t heads = 255;
    std::uint32_t sectorsPerTrack = 63;
};

struct FormatterCommand {
    std::string tool;  // program name
    std::vector<std::string> args;
    int expectedLines = 1;  // output lines of a whole run, for progress
};

// Empty tool, with why, when the request cannot be formatted.
FormatterCommand formatterCommand(machine::FileSystemKind kind, const VolumePlacement& where,
                                  std::uint32_t clusterSize, const std::string& label, const std::string& file,
                                  std::string* why);

}  // namespace win::detail
