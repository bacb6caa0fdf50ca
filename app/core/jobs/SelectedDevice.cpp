#include "app/core/jobs/SelectedDevice.h"

#include <atomic>

namespace {

std::atomic<kx_device*> g_selectedDevice{nullptr};

}  // namespace

kx_device* GetSelectedDevice() { return g_selectedDevice.load(); }

void SetSelectedDevice(kx_device* device) { g_selectedDevice.store(device); }
