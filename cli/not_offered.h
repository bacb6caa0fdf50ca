// The disks the machine has but never offers to the device search, each
// with why: the host's own disks, when it follows the host's USB disks.
// Only the machine knows why, so a command that finds no disk asks it.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct NotOffered {
    int slot = 0;
    std::string backing;  // the host's block device, "/dev/sdd"
    std::string line;     // "/dev/sdd (disk 2, NAME): a partition is mounted at /media"

    // Whether a --device value means this disk: its block device, or the
    // Windows names its slot would have.
    bool namedBy(const std::string& device) const;
};

// Asks the machine, so it lives in main.cpp, the one part of orvane that
// knows the machine behind the Windows functions.
std::vector<NotOffered> notOfferedDisks();

// Each as orvane devices --all shows it, after indent; one a line, no
// newline after the last.
std::string notOfferedLines(const std::vector<NotOffered>& disks, const std::string& indent);

}  // namespace cli
