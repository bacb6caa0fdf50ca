// Questions about kernel device paths, each asked through the process's
// temporary DOS name: does the path open, its partition information, and
// the drive letter whose volume is that partition.
#include <cstdio>
#include <cstring>

#include "windev/pedwindow_paths.h"
#include "kx/kx.h"
#include "common/kx_message.h"
#include "common/kx_text.h"
#include "platform/win_api.h"

namespace kx {

namespace {

using source::pedWindow;

constexpr int kLetterRetries = 3;
constexpr win::DWORD kLetterRetryMs = 500;

// Opens the path for reading through the temporary name; the name is
// removed again when the handle is closed.
class TempOpen {
public:
    explicit TempOpen(const char* path) : path_(path)
    {
        if (!path_ || !defineTempName(path_))
            return;
        defined_ = true;
        char file[win::MAX_PATH + 8];
        std::snprintf(file, sizeof file, "\\\\.\\%s", tempDosName());
        handle_ = win::CreateFileA(file, win::GENERIC_READ, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                   win::OPEN_EXISTING, 0, nullptr);
    }
    ~TempOpen()
    {
        if (handle_ != win::INVALID_HANDLE_VALUE)
            win::CloseHandle(handle_);
        if (defined_)
            removeTempName(path_);
    }
    TempOpen(const TempOpen&) = delete;
    TempOpen& operator=(const TempOpen&) = delete;

    bool opened() const { return handle_ != win::INVALID_HANDLE_VALUE; }
    win::HANDLE handle() const { return handle_; }

private:
    const char* path_;
    bool defined_ = false;
    win::HANDLE handle_ = win::INVALID_HANDLE_VALUE;
};

bool samePartition(const win::PARTITION_INFORMATION& a, const win::PARTITION_INFORMATION& b)
{
    return a.StartingOffset.QuadPart == b.StartingOffset.QuadPart &&
           a.PartitionLength.QuadPart == b.PartitionLength.QuadPart && a.HiddenSectors == b.HiddenSectors &&
           a.PartitionNumber == b.PartitionNumber && a.PartitionType == b.PartitionType &&
           a.BootIndicator == b.BootIndicator && a.RecognizedPartition == b.RecognizedPartition &&
           a.RewritePartition == b.RewritePartition;
}

// Which disk and partition a path is on; false when its driver does not say.
bool deviceNumber(const TempOpen& device, win::STORAGE_DEVICE_NUMBER* number)
{
    win::DWORD returned = 0;
    return win::DeviceIoControl(device.handle(), win::IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number,
                                sizeof *number, &returned, nullptr) &&
           returned >= sizeof *number;
}

// Partition information and, where the driver answers, the device number
// of one path, asked through one open.
struct Identity {
    win::PARTITION_INFORMATION info{};
    bool numbered = false;
    win::STORAGE_DEVICE_NUMBER number{};
};

bool identify(const char* path, Identity* id)
{
    TempOpen device(path);
    if (!device.opened())
        return false;
    win::DWORD returned = 0;
    if (!win::DeviceIoControl(device.handle(), win::IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, &id->info,
                              sizeof id->info, &returned, nullptr))
        return false;
    id->numbered = deviceNumber(device, &id->number);
    return true;
}

// Disks of the same layout give equal partition information, so the device
// number decides; a Windows that does not answer it is trusted on the layout.
bool sameVolume(const Identity& a, const Identity& b)
{
    if (!samePartition(a.info, b.info))
        return false;
    if (!a.numbered || !b.numbered)
        return true;
    return a.number.DeviceNumber == b.number.DeviceNumber && a.number.PartitionNumber == b.number.PartitionNumber;
}

}  // namespace

const char* tempDosName()
{
    static char name[win::MAX_PATH];
    std::snprintf(name, sizeof name, "kelvar%lu", static_cast<unsigned long>(win::GetCurrentProcessId()));
    return name;
}

bool defineTempName(const char* target)
{
    return target && win::DefineDosDeviceA(win::DDD_RAW_TARGET_PATH, tempDosName(), target);
}

void removeTempName(const char* target)
{
    win::DefineDosDeviceA(win::DDD_RAW_TARGET_PATH | win::DDD_REMOVE_DEFINITION | win::DDD_EXACT_MATCH_ON_REMOVE,
                          tempDosName(), target);
}

int pathExists(const char* path)
{
    return TempOpen(path).opened() ? 1 : 0;
}

int partitionInformation(const char* path, win::PARTITION_INFORMATION* info)
{
    if (!info)
        return 0;
    std::memset(info, 0, sizeof *info);
    TempOpen device(path);
    if (!device.opened())
        return 0;
    win::DWORD returned = 0;
    return win::DeviceIoControl(device.handle(), win::IOCTL_DISK_GET_PARTITION_INFO, nullptr, 0, info, sizeof *info,
                                &returned, nullptr)
               ? 1
               : 0;
}

int driveLetter(const char* path)
{
    Identity mine;
    if (!identify(path, &mine))
        return -1;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char name[3] = {letter, ':', '\0'};
        char target[win::MAX_PATH] = {};
        if (!win::QueryDosDeviceA(name, target, sizeof target))
            continue;
        Identity theirs;
        if (identify(target, &theirs) && sameVolume(mine, theirs))
            return letter - 'A';
    }
    return -1;
}

int driveLetterWithRetries(const char* path, const char* caller)
{
    int letter = driveLetter(path);
    for (int retry = 0; letter < 0 && retry < kLetterRetries; ++retry) {
        kx_printf("ERR:[%s:%s():%d]Fail to get mountpoint: %s\n", pedWindow, caller, __LINE__, path);
        win::Sleep(kLetterRetryMs);
        letter = driveLetter(path);
    }
    if (letter < 0)
        kx_printf("ERR:[%s:%s():%d]Fail to get mountpoint: %s\n", pedWindow, caller, __LINE__, path);
    return letter;
}

bool setMountPoint(PedDevice* dev, int letter)
{
    const char point[3] = {static_cast<char>('A' + letter), ':', '\0'};
    return setText(dev->mount_point, point);
}

}  // namespace kx
