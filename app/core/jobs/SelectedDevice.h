// The device the jobs work on: one library device handle, or none. Chosen on
// the user-interface thread (or by the command line), replaced by a worker
// after it restarts the device; the pages' busy state keeps that to one
// writer at a time, the atomic keeps each read and replacement whole.
#pragma once

#include <atomic>

#include "kx/kx.h"

class SelectedDevice {
public:
    // Null when no device is selected.
    kx_device* Get() const { return m_device.load(); }
    void Set(kx_device* device) { m_device.store(device); }

private:
    std::atomic<kx_device*> m_device{nullptr};
};

// The process's selection: the one the pages share and hand to the workers
// they start, and the command line's.
SelectedDevice& ProcessSelection();
// Its device, and its replacement.
kx_device* GetSelectedDevice();
void SetSelectedDevice(kx_device* device);
