// The unmount operation: a partition's drive is dismounted through the
// encryption driver, which alone mounts drives for the library.
#include <cctype>

#include "windev/pedwin_crypt_driver.h"
#include "fs/pedfilesys.h"
#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"
#include "common/kx_text.h"
#include "device/peddevice.h"

namespace kx {

int ped_file_system_umount(PedPartFs* fs)
{
    PedDevice* dev = fs && fs->part ? partData(fs->part)->dev : nullptr;
    if (!dev || !dev->mount_point || !dev->mount_point[0]) {
        kx_printf("[%s:%s:%d]: mount_point is empty\n", KX_WHERE(source::pedFileSys));
        return 0;
    }
    const char letter = dev->mount_point[0];
    const int drive = std::toupper(static_cast<unsigned char>(letter)) - 'A';
    if (drive < 0 || drive >= win::crypt_driver::driveCount || !dismountDrive(drive, true)) {
        kx_printf("[%s:%s:%d]: fail to umount:%s, %c\n", KX_WHERE(source::pedFileSys), dev->path, letter);
        return 0;
    }
    kx_printf("[%s:%s:%d]: umount:%s, %c\n", KX_WHERE(source::pedFileSys), dev->path, letter);
    freeText(dev->mount_point);
    fs->mounted = 0;
    fs->free = 0;
    return 1;
}

}  // namespace kx
