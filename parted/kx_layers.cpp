// The device backend, the MBR label and the random pool start here; the
// crypto driver is released with the API that drives it.
#include "parted/kx_layers.h"

#include "kx/kx.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"
#include "common/kx_random.h"
#include "arch/pedwindow.h"

namespace kx {

bool initDeviceModules()
{
    if (!initDeviceTables()) {
        kx_printf("Fail to ped_device_window_init();");
        return false;
    }
    ped_file_system_init();
    return ped_disk_msdos_init() != 0;
}

bool startRandomPool() { return randomPoolStart(); }

void stopRandomPool() { randomPoolStop(); }

}  // namespace kx
