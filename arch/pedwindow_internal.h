// Helpers shared by the files of the Windows device backend.
#pragma once

#include <cstdint>

#include "parted/peddevice.h"

namespace kx {

// Replaces the record's path (when it differs) and keeps libparted's view in step.
bool setDevicePath(PedDevice* dev, const char* path);
// Sets the record's extent from the offset and length Windows reports, in
// bytes: size, length, geometry, and libparted's length and geometry.
void setDeviceExtent(PedDevice* dev, std::int64_t offset, std::int64_t length);
// Drive letter of a partition path with the retries of a slow mount manager:
// 0 for A: ... 25 for Z:, -1 when still none. caller names the reporter.
int driveLetterWithRetries(const char* path, const char* caller);
// Stores "X:" as the record's mount point.
bool setMountPoint(PedDevice* dev, int letter);

}  // namespace kx
