// The probe operations: tie a candidate disk drive to its physical drive
// and read its table, give a partition its own device record and drive
// letter, and ask Windows to re-read a committed table.
#include <cstdio>
#include <cstring>
#include <string>

#include "arch/pedwin_probe_pass.h"
#include "arch/pedwinbase.h"
#include "arch/pedwindow.h"
#include "arch/pedwindow_internal.h"
#include "fs/pedfilesys.h"
#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"
#include "common/kx_os.h"
#include "common/kx_text.h"
#include "platform/win_api.h"

namespace kx {

namespace {

using source::pedWindow;

constexpr int kMaxDrives = 64;
constexpr int kMaxPartitions = 31;
constexpr win::DWORD kCommitSettleMs = 500;

// Hidden NTFS, FAT16 and FAT32 partitions never get a drive letter.
bool isHiddenType(unsigned char system)
{
    return system == 0x17 || system == 0x16 || system == 0x1B;
}

bool ownedByAnother(const PedWinDev* candidate, const char* path)
{
    for (const PedWinDev* c = candidates(); c; c = c->next)
        if (c != candidate && c->peddev && c->peddev->path && std::strcmp(c->peddev->path, path) == 0)
            return true;
    return false;
}

// Who the drive is; within a probe, asked of Windows once for all candidates.
DriveIdentity driveIdentity(int drive)
{
    ProbePass* pass = ProbePass::current();
    return pass ? pass->identity(drive) : ProbePass::Ask(drive);
}

// The drive number of the first physical drive this candidate's name shows.
// Drives other candidates own are passed over before any question: each
// opens the drive, and asking about every owned drive made a probe of n
// disks cost n squared opens. A drive that cannot be opened just now is
// passed over too, and with the serial check no candidate takes a drive of
// its model that is not its own.
int findDrive(const PedWinDev* candidate, char* vendor, char* product, char* version)
{
    for (int drive = 0; drive < kMaxDrives; ++drive) {
        char path[64];
        std::snprintf(path, sizeof path, "\\Device\\Harddisk%d\\Partition0", drive);
        if (ownedByAnother(candidate, path))
            continue;
        const DriveIdentity id = driveIdentity(drive);
        if (!id.answered || !ped_dev_win_match(candidate, id.vendor, id.product, id.version, id.serial))
            continue;
        std::memcpy(vendor, id.vendor, sizeof id.vendor);
        std::memcpy(product, id.product, sizeof id.product);
        std::memcpy(version, id.version, sizeof id.version);
        return drive;
    }
    return -1;
}

// The path with its trailing partition number replaced.
std::string partitionPath(const char* diskPath, int number)
{
    std::string path(diskPath);
    while (!path.empty() && path.back() >= '0' && path.back() <= '9')
        path.pop_back();
    return path + std::to_string(number);
}

}  // namespace

int ped_dev_win_probe(PedWinDev* candidate)
{
    if (!candidate)
        return 0;
    char vendor[9] = {};
    char product[17] = {};
    char version[5] = {};
    const int drive = findDrive(candidate, vendor, product, version);
    if (drive < 0)
        return 0;
    char path[64];
    std::snprintf(path, sizeof path, "\\Device\\Harddisk%d\\Partition0", drive);

    if (osCode() > 10)
        candidate->dev.removable = isRemovableDiskEx(drive);

    PedDevice* dev = candidate->peddev;
    if (dev) {
        setDevicePath(dev, path);
    } else {
        dev = ped_device_get(path);
        if (!dev) {
            kx_printf("ERR:[%s:%s:%d]:Fail to get device: %s!\n", KX_WHERE(pedWindow), path);
            return 0;
        }
        setDevicePath(dev, path);
        dev->partition = 0;
        // A disk without an extent (it has just come back and the host is
        // still reading it) is left for the next probe: libparted cannot
        // read a table on a device of no size.
        win::PARTITION_INFORMATION info;
        if (!partitionInformation(path, &info) || info.PartitionLength.QuadPart <= 0) {
            kx_printf("ERR:[%s:%s:%d]:Fail to get the size of device: %s!\n", KX_WHERE(pedWindow), path);
            ped_device_destroy(dev);
            return 0;
        }
        setDeviceExtent(dev, info.StartingOffset.QuadPart, info.PartitionLength.QuadPart);
        setText(dev->vendor, vendor);
        setText(dev->product, product);
        candidate->peddev = dev;
    }
    dev->removable = candidate->dev.removable;

    if (::PedDisk* disk = kx::ped_disk_probe(dev)) {
        dev->disk = disk;
        refreshCandidate(candidate);
        return 1;
    }
    kx_printf("ERR:[%s:%s:%d]:Fail to ped_disk_probe();", KX_WHERE(pedWindow));
    ped_device_destroy(dev);
    candidate->peddev = nullptr;
    return 0;
}

int ped_dev_win_probe_part(::PedPartition* part, int first_only)
{
    if (!part) {
        KX_REPORT(pedWindow, "part != NULL");
        return 0;
    }
    if (part->type & PED_PARTITION_EXTENDED)
        return 1;
    MsdosPartitionData* data = partData(part);
    const PedDevice* disk = part->disk ? fromParted(part->disk->dev) : nullptr;
    if (!data || !disk || !disk->path)
        return 0;

    std::string path;
    win::PARTITION_INFORMATION info{};
    const int last = first_only ? 1 : kMaxPartitions;
    for (int number = 1; number <= last && path.empty(); ++number) {
        const std::string candidate = partitionPath(disk->path, number);
        if (!pathExists(candidate.c_str()) || !partitionInformation(candidate.c_str(), &info))
            continue;
        const std::int64_t start = info.StartingOffset.QuadPart / 512;
        const std::int64_t length = info.PartitionLength.QuadPart / 512;
        if (first_only || (start == part->geom.start && length == part->geom.length))
            path = candidate;
    }
    if (path.empty())
        return 0;

    PedDevice* dev = ped_device_get(path.c_str());
    if (!dev) {
        kx_printf("ERR:[%s:%s:%d]:Fail to get device: %s!\n", KX_WHERE(pedWindow), path.c_str());
        return 0;
    }
    setDeviceExtent(dev, info.StartingOffset.QuadPart, info.PartitionLength.QuadPart);
    if (!isHiddenType(data->system)) {
        const int letter = driveLetterWithRetries(path.c_str(), __func__);
        if (letter >= 0)
            setMountPoint(dev, letter);
    }
    dev->partition = 1;
    setDevicePath(dev, path.c_str());
    if (data->dev)
        ped_device_destroy(data->dev);
    data->dev = dev;
    return 1;
}

int ped_dev_win_part_update_info(::PedPartition* part)
{
    MsdosPartitionData* data = part ? partData(part) : nullptr;
    if (!data || !data->dev || !data->dev->path) {
        KX_REPORT(pedWindow, "part->dev == NULL && part->dev->path == NULL");
        return 0;
    }
    const int letter = driveLetterWithRetries(data->dev->path, __func__);
    if (letter < 0)
        return 0;
    setMountPoint(data->dev, letter);
    // The refresh makes the record when there is none and attaches it.
    return ped_file_system_refresh(part, 0) ? 1 : 0;
}

int commitToSystem(::PedDisk* disk)
{
    PedDevice* dev = disk ? fromParted(disk->dev) : nullptr;
    if (!dev || !ped_device_open(dev))
        return 0;
    win::DWORD returned = 0;
    win::DeviceIoControl(*dev->handle, win::IOCTL_DISK_UPDATE_PROPERTIES, nullptr, 0, nullptr, 0, &returned, nullptr);
    // Give the kernel time to publish the new partitions.
    win::Sleep(kCommitSettleMs);
    ped_device_close(dev);
    return 1;
}

}  // namespace kx
