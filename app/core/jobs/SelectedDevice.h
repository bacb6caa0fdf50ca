// The device the pages work on: one process-wide library device handle, or
// none. Chosen on the user-interface thread, replaced by a worker after it
// restarts the device; the pages' busy state keeps that to one writer at a
// time, the atomic keeps each read and replacement whole.
#pragma once

#include "kx/kx.h"

// Null when no device is selected.
kx_device* GetSelectedDevice();
void SetSelectedDevice(kx_device* device);
