// Keeping the partition records the API hands out (one PedWinPart per
// partition) in step with the table in memory.
#include <cctype>
#include <cstdlib>
#include <string>

#include "windev/pedwin_crypt_driver.h"
#include "arch/pedwin_disk_internal.h"
#include "arch/pedwindow.h"
#include "fs/pedfilesys.h"
#include "labels/pedmsdos.h"
#include "platform/win_api.h"

namespace kx {

namespace {

// Writes only on change: callers read a PedWinPart's figures without the
// lock, and a refresh mostly finds them unchanged.
template <typename T>
void store(T& field, T value)
{
    if (field != value)
        field = value;
}

// The label of a mounted volume in the system code page; empty when none.
std::string volumeLabel(const char* mountPoint)
{
    win::WCHAR root[8] = {};
    for (int i = 0; i < 2 && mountPoint[i]; ++i)
        root[i] = static_cast<win::WCHAR>(static_cast<unsigned char>(mountPoint[i]));
    root[2] = u'\\';
    win::WCHAR name[261] = {};
    if (!win::GetVolumeInformationW(root, name, 261, nullptr, nullptr, nullptr, nullptr, 0) || !name[0])
        return {};
    char text[1024] = {};
    if (win::WideCharToMultiByte(win::CP_ACP, 0, name, -1, text, sizeof text - 1, nullptr, nullptr) <= 0)
        return {};
    return text;
}

// The driver has the volume on the drive the record names.
bool mountedByDriver(const PedDevice* dev)
{
    if (!dev || !dev->mount_point || !dev->path)
        return false;
    const int drive = std::toupper(static_cast<unsigned char>(dev->mount_point[0])) - 'A';
    return drive >= 0 && driveMountedFrom(dev->path) == drive;
}

// A private volume's figures come from the volume itself, when it is there.
void refreshPrivateFigures(::PedPartition* part, PedPartFs* fs)
{
    PedDevice* dev = partData(part)->dev;
    PedWinPart& record = partData(part)->winpart;
    // Loaded by another process (the window, an earlier command): the driver
    // knows its drive. Not marked mounted here, so this process's end leaves
    // it loaded.
    learnDriverMount(dev);
    win::ULARGE_INTEGER freeBytes{};
    win::PARTITION_INFORMATION info{};
    const bool haveFree = dev && dev->mount_point &&
                          win::GetDiskFreeSpaceExA(dev->mount_point, &freeBytes, nullptr, nullptr);
    const bool haveLength = haveFree && dev->path && partitionInformation(dev->path, &info);
    if ((!haveFree || !haveLength) && mountedByDriver(dev)) {
        // Its file system does not answer (not made yet, or damaged), but the
        // volume is on its drive: forgetting it would leave it unloadable.
        fs->free = 0;
    } else if (!haveFree || !haveLength) {
        fs->mounted = 0;
        fs->free = 0;
        if (dev)
            setText(dev->mount_point, nullptr);
        setText(record.mountpoint, nullptr);
    } else {
        fs->free = freeBytes.QuadPart;
        fs->size = static_cast<std::uint64_t>(info.PartitionLength.QuadPart);
    }
    if (dev && dev->mount_point) {
        const std::string label = volumeLabel(dev->mount_point);
        setText(fs->label, label.empty() ? nullptr : label.c_str());
    }
}

}  // namespace

void refreshPartitionRecord(::PedPartition* part)
{
    MsdosPartitionData* data = partData(part);
    PedWinPart& record = data->winpart;
    const std::uint64_t lengthBytes = static_cast<std::uint64_t>(part->geom.length) * 512;
    if (isExtended(part)) {
        setText(record.name, nullptr);
        setText(record.path, nullptr);
        setText(record.mountpoint, nullptr);
        store(record.type, KX_PART_EXTENDED);
        store(record.kind, KX_FS_NONE);
        store(record.size, lengthBytes);
        store(record.free, ped_disk_query_free(part->disk, 0).bytes);
        store(record.private_volume, 0);
        store(record.loaded, 0);
        return;
    }
    PedPartFs* fs = data->fs;
    if (fs && fs->private_volume)
        refreshPrivateFigures(part, fs);
    store(record.type, isLogical(part) ? KX_PART_LOGICAL : KX_PART_PRIMARY);
    if (fs) {
        if (const int kind = kindOfCode(fs->code); kind >= 0)
            store(record.kind, kind);
        setText(record.name, fs->label);
        store(record.size, fs->size ? fs->size : lengthBytes);
        store(record.free, fs->free);
        store(record.loaded, fs->mounted);
        store(record.private_volume, fs->private_volume);
    } else {
        store(record.size, lengthBytes);
    }
    if (data->dev) {
        setText(record.path, data->dev->path);
        setText(record.mountpoint, data->dev->mount_point);
    }
}

void refreshPartitionRecords(PedWinDev* entry)
{
    if (!entry || !entry->peddev || !entry->peddev->disk)
        return;
    const ::PedDisk* table = entry->peddev->disk;
    for (::PedPartition* p = nextTopLevel(table, nullptr); p; p = nextTopLevel(table, p)) {
        refreshPartitionRecord(p);
        if (isExtended(p))
            for (::PedPartition* l = nextLogical(table, nullptr); l; l = nextLogical(table, l))
                refreshPartitionRecord(l);
    }
}

}  // namespace kx
