// The device console tool that the library runs to restart the disk after
// an upgrade. It lives in the machine's shared templates folder, where the
// desktop application writes it out at start-up; the command line puts the
// cmddev program built beside it there instead.
#pragma once

namespace cli {

// Throws CommandFailure when the tool cannot be put in place, before
// anything is written to a disk.
void placeDeviceTool();

}  // namespace cli
