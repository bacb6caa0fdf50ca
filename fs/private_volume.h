// Creating a private volume on a partition: the encrypted header, the
// optional fill of a full format, and the file system inside.
#pragma once

#include <cstdint>
#include <string>

#include "windev/pedwin_crypt_volume.h"

namespace kx {

struct PrivateVolumeRequest {
    const char* path = nullptr;                // the partition's device path
    const PasswordRecord* password = nullptr;
    std::string label;                         // system code page
    std::uint64_t size = 0;                    // the partition's bytes
    int innerCode = 0;                         // FS_NONE, FS_FAT, FS_FAT32 or FS_NTFS
    bool quick = true;
    std::uint32_t clusterBytes = 0;            // 0: the file system's default
};

// A VolumeResult. Checks what could fail before the first write (sizes,
// the driver and a free letter for NTFS), so a refusal leaves the
// partition as it was. viaDosName opens a device path through the
// process's temporary DOS name.
int createPrivateVolume(const PrivateVolumeRequest& request, bool viaDosName);

// Mounts the new volume on the last free letter from Z: down, formats it
// NTFS through the format service and dismounts it again. A VolumeResult.
int formatPrivateNtfs(const PrivateVolumeRequest& request);
// The last free letter from Z: to D: (0 = A:), -1 when none is.
int lastFreeDrive();

}  // namespace kx
