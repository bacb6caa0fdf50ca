// The mount operation: a private partition's volume is mounted through the
// encryption driver on a drive letter.
#include <cctype>
#include <string>

#include "windev/pedwin_crypt_driver.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"
#include "common/kx_text.h"
#include "device/peddevice.h"

namespace kx {

namespace {

constexpr int kFirstLetter = 'D' - 'A';
constexpr win::DWORD kSettleMs = 1000;

// The caller's letter, else the first of D: to Z: that Windows does not
// use; -1 when there is none.
int chooseDrive(const char* mountpoint)
{
    if (mountpoint && mountpoint[0]) {
        const int letter = std::toupper(static_cast<unsigned char>(mountpoint[0]));
        return letter >= 'A' && letter <= 'Z' ? letter - 'A' : -1;
    }
    const win::DWORD used = win::GetLogicalDrives();
    for (int drive = kFirstLetter; drive < win::crypt_driver::driveCount; ++drive)
        if (!(used & (1u << drive)))
            return drive;
    return -1;
}

}  // namespace

int ped_file_system_mount(PedPartFs* fs, const char* password, const char* mountpoint)
{
    PedDevice* dev = fs && fs->part ? partData(fs->part)->dev : nullptr;
    const int drive = chooseDrive(mountpoint);
    if (!dev || !dev->path || drive < 0)
        return 0;
    PasswordRecord record;
    if (!makePasswordRecord(password, record)) {
        wipePasswordRecord(record);
        return 0;
    }
    const int mounted = mountVolume(dev->path, record, drive, false);
    wipePasswordRecord(record);
    if (mounted != kMountExclusive && mounted != kMountShared)
        return 0;

    const char point[3] = {static_cast<char>('A' + drive), ':', '\0'};
    setText(dev->mount_point, point);
    fs->mounted = 1;
    // The new volume needs a moment before it answers for its space.
    win::Sleep(kSettleMs);
    const std::string root = std::string(point) + "\\";
    win::ULARGE_INTEGER freeBytes{}, total{};
    if (win::GetDiskFreeSpaceExA(root.c_str(), &freeBytes, &total, nullptr)) {
        fs->free = freeBytes.QuadPart;
        fs->size = total.QuadPart;
    }
    return 1;
}

}  // namespace kx
