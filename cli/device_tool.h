// The device console tool that the library runs to restart the disk after
// an upgrade. It lives in the machine's shared templates folder, where the
// desktop application writes it out at start-up; the command line puts the
// cmddev program built beside it there instead.
#pragma once

#include <filesystem>

namespace cli {

// The cmddev program of this build or install, empty when there is none.
// Only the machine knows where helpers are, so it lives in main.cpp.
std::filesystem::path deviceToolProgram();

// Throws CommandFailure when the tool cannot be put in place, before
// anything is written to a disk.
void placeDeviceTool();

}  // namespace cli
