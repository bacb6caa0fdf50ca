// The format operation with a password: the partition becomes a private
// volume holding the file system its kind names.
#include "windev/pedwin_crypt_volume.h"
#include "fs/pedfilesys.h"
#include "fs/pedfilesys_format.h"
#include "fs/private_volume.h"
#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "device/peddevice.h"

namespace kx {

namespace {

// Private codes name the file system inside; public ones are kept.
int innerCodeOf(int code)
{
    switch (code) {
    case FS_PRIVATE_FAT:
        return FS_FAT;
    case FS_PRIVATE_FAT32:
        return FS_FAT32;
    case FS_PRIVATE_NTFS:
        return FS_NTFS;
    default:
        return code;
    }
}

int apiResultOf(int result)
{
    switch (result) {
    case kVolumeOk:
        return 0;
    case kVolumeHeld:
        return kVolumeHeld;  // the API reports it as KX_FORMAT_HELD
    case kVolumeNoLetter:
        return KX_FORMAT_NO_FREE_LETTER;
    case kVolumeNotFormatted:
        return KX_FORMAT_PRIVATE_NOT_FORMATTED;
    case kVolumeNoDriver:
        return KX_FORMAT_NO_DRIVER;
    case kVolumeBadPassword:
        return KX_FORMAT_BAD_PASSWORD;
    case kVolumeBadSize:
        return KX_FORMAT_BAD_SIZE;
    default:
        return KX_FORMAT_WRITE_FAILED;
    }
}

}  // namespace

int formatPrivate(PedPartFs* fs, const char* password, const char* label, int quick, int clusterSize)
{
    const PedDevice* dev = partData(fs->part)->dev;
    const int inner = innerCodeOf(fs->code);
    if (!dev || !dev->path || dev->size <= 0 || (inner != FS_NONE && inner != FS_FAT && inner != FS_FAT32 &&
                                                 inner != FS_NTFS))
        return KX_FORMAT_NO_PARTITION;
    if (clusterSize < 0)
        return KX_FORMAT_BAD_SIZE;
    if (inner == FS_NTFS) {
        const auto wide = wideLabel(label);
        if (!wide || !fitsLabel(FS_NTFS, *wide))
            return KX_FORMAT_BAD_LABEL;
    }
    PasswordRecord record;
    if (!makePasswordRecord(password, record) || record.length == 0) {
        wipePasswordRecord(record);
        return KX_FORMAT_BAD_PASSWORD;
    }
    PrivateVolumeRequest request;
    request.path = dev->path;
    request.password = &record;
    request.label = label ? label : "";
    request.size = static_cast<std::uint64_t>(dev->size);
    request.innerCode = inner;
    request.quick = quick != 0;
    request.clusterBytes = static_cast<std::uint32_t>(clusterSize);

    int result = createPrivateVolume(request, false);
    if (result == kVolumeHeld)
        result = createPrivateVolume(request, true);
    wipePasswordRecord(record);
    // A refusal before the first write leaves the figure of the last format.
    if (result == kVolumeOk)
        setFormatProgress(100);
    return apiResultOf(result);
}

}  // namespace kx
