#include "app/core/jobs/SelectedDevice.h"

SelectedDevice& ProcessSelection()
{
    static SelectedDevice selection;
    return selection;
}

kx_device* GetSelectedDevice() { return ProcessSelection().Get(); }

void SetSelectedDevice(kx_device* device) { ProcessSelection().Set(device); }
