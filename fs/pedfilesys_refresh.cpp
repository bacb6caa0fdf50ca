// The refresh operation: what Windows says about a partition's volume.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "windev/pedwindow_paths.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"
#include "platform/win_api.h"

namespace kx {

namespace {

// Asks the partition's device whether a file system is mounted on it. False
// only when the temporary DOS name could not be defined.
bool askMounted(const char* path, bool* mounted)
{
    *mounted = false;
    if (!path || !defineTempName(path))
        return false;
    char file[win::MAX_PATH + 8];
    std::snprintf(file, sizeof file, "\\\\.\\%s", tempDosName());
    win::HANDLE h = win::CreateFileA(file, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                     win::OPEN_EXISTING, 0, nullptr);
    if (h != win::INVALID_HANDLE_VALUE) {
        win::DWORD returned = 0;
        *mounted = win::DeviceIoControl(h, win::FSCTL_IS_VOLUME_MOUNTED, nullptr, 0, nullptr, 0, &returned, nullptr);
        win::CloseHandle(h);
    }
    removeTempName(path);
    return true;
}

std::uint64_t partitionBytes(const PedDevice* dev)
{
    win::PARTITION_INFORMATION info{};
    if (partitionInformation(dev->path, &info))
        return static_cast<std::uint64_t>(info.PartitionLength.QuadPart);
    return dev->size > 0 ? static_cast<std::uint64_t>(dev->size) : 0;
}

// The volume label in the system code page; none when empty or unreadable.
char* volumeLabel(const char* mountPoint)
{
    std::u16string root(mountPoint, mountPoint + std::strlen(mountPoint));
    root += u"\\";
    win::WCHAR name[win::MAX_PATH + 1] = {};
    if (!win::GetVolumeInformationW(root.c_str(), name, win::MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0) ||
        !name[0])
        return nullptr;
    char text[4 * (win::MAX_PATH + 1)] = {};
    if (!win::WideCharToMultiByte(win::CP_ACP, 0, name, -1, text, sizeof text, nullptr, nullptr) || !text[0])
        return nullptr;
    return strdup(text);
}

}  // namespace

PedPartFs* ped_file_system_refresh(::PedPartition* part, int codeZero)
{
    MsdosPartitionData* data = partData(part);
    if (!data)
        return nullptr;
    if (!data->fs) {
        data->fs = ped_file_system_new(part, codeZero ? FS_NONE : codeOfSystemId(data->system));
        if (!data->fs)
            return nullptr;
    }
    PedPartFs* fs = data->fs;
    std::free(fs->label);
    fs->label = nullptr;

    const PedDevice* dev = data->dev;
    if (!dev) {
        fs->size = static_cast<std::uint64_t>(part->geom.length) * 512;
        fs->free = 0;
        fs->mounted = 0;
        fs->private_volume = 0;
        return fs;
    }
    fs->private_volume = isPrivateCode(fs->code) ? 1 : 0;
    if (fs->private_volume)
        return fs;  // its volume is the encryption driver's to report

    bool mounted = false;
    if (!askMounted(dev->path, &mounted))
        return nullptr;
    if (!mounted) {
        fs->mounted = 0;
        return fs;
    }
    fs->free = 0;
    if (dev->mount_point) {
        const std::string root = std::string(dev->mount_point) + "\\";
        win::ULARGE_INTEGER freeBytes{};
        if (win::GetDiskFreeSpaceExA(root.c_str(), &freeBytes, nullptr, nullptr))
            fs->free = freeBytes.QuadPart;
    }
    fs->size = partitionBytes(dev);
    if (dev->mount_point) {
        fs->label = volumeLabel(dev->mount_point);
        fs->mounted = 1;
    } else {
        fs->mounted = 0;
    }
    return fs;
}

}  // namespace kx
