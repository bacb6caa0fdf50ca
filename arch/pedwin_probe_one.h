// Discovery of one disk drive: the one of a USB device's serial number, so
// that a job on one disk never opens the others (they may be other jobs').
#pragma once

namespace kx {

// As PedWinDeviceProbe, visiting only the disk drives whose instance id ends
// in this serial ("...\SERIAL&0"); the others are left out of the list.
int PedWinDeviceProbeSerial(const char* serial);

}  // namespace kx
