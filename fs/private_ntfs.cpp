// A new private volume gets NTFS from the format service, through the
// drive the encryption driver mounts it on.
#include "windev/pedwin_crypt_driver.h"
#include "fs/pedfilesys.h"
#include "fs/pedfilesys_format.h"
#include "fs/private_volume.h"

namespace kx {

int formatPrivateNtfs(const PrivateVolumeRequest& request)
{
    const int drive = lastFreeDrive();
    if (drive < 0)
        return kVolumeNoLetter;
    const int mounted = mountVolume(request.path, *request.password, drive, true);
    if (mounted != kMountExclusive && mounted != kMountShared)
        return kVolumeHeld;

    int result = kVolumeNotFormatted;
    const auto label = wideLabel(request.label.c_str());
    // Without the right to format a drive the volume would stay without a
    // file system: that is no success.
    if (label && (userIsAdmin() || !uacEnabled())) {
        DriveFormat format;
        format.letter = static_cast<char>('A' + drive);
        format.code = FS_NTFS;
        format.label = *label;
        format.quick = true;
        format.clusterSize = request.clusterBytes;
        if (formatDrive(format, request.label) == DriveResult::Formatted)
            result = kVolumeOk;
    }
    if (!dismountDrive(drive, false))
        kx_printf("ERR:[%s:%s:%d]: fail to umount:%s, %c\n", KX_WHERE(source::pedFileSys), request.path,
                  static_cast<char>('A' + drive));
    return result;
}

}  // namespace kx
