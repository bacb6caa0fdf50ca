// The device backend and the MBR label start here; the random pool and the
// crypto driver hook in as they are added.
#include "parted/kx_layers.h"

#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "parted/peddevice.h"

namespace kx {

bool initDeviceModules()
{
    if (!initDeviceTables()) {
        kx_printf("Fail to ped_device_window_init();");
        return false;
    }
    return ped_disk_msdos_init() != 0;
}

bool startRandomPool()
{
    return true;
}

void stopRandomPool() {}

void releaseCryptoDriver() {}

}  // namespace kx
