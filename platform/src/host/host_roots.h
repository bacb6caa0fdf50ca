// Where the host layer looks: sysfs, /dev and /proc, each movable by an
// environment variable so tests can build a tree of their own. A moved root
// is used only when the running user could have made it (tree_trust.h).
#pragma once

#include <filesystem>

namespace host {

std::filesystem::path sysfsRoot();  // ORVANE_HOST_SYSFS, else /sys
std::filesystem::path devRoot();    // ORVANE_HOST_DEV, else /dev
std::filesystem::path procRoot();   // ORVANE_HOST_PROC, else /proc
// True when /dev was moved: only then may a disk node be a plain file.
bool devRootMoved();
bool sysfsRootMoved();
bool procRootMoved();

}  // namespace host
