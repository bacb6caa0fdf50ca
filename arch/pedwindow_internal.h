// Helpers shared by the files of the Windows device backend.
#pragma once

#include <cstdint>

#include "device/peddevice.h"
#include "windev/pedwindow_paths.h"

namespace kx {

// Replaces the record's path (when it differs) and keeps libparted's view in step.
bool setDevicePath(PedDevice* dev, const char* path);
// Sets the record's extent from the offset and length Windows reports, in
// bytes: size, length, geometry, and libparted's length and geometry.
void setDeviceExtent(PedDevice* dev, std::int64_t offset, std::int64_t length);

}  // namespace kx
