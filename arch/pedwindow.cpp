// Device records of the Windows backend and their whole-sector transfers.
// A record is opened through the process's temporary DOS name and closed
// again after every transfer, so one name serves the whole process.
#include "arch/pedwindow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "arch/pedwindow_internal.h"
#include "fs/pedfilesys.h"
#include "kx/kx.h"
#include "labels/pedmsdos.h"
#include "common/kx_message.h"
#include "common/kx_text.h"
#include "platform/win_api.h"

namespace kx {

namespace {

using source::pedWindow;

constexpr std::uint32_t kDefaultSectorSize = 512;
constexpr win::DWORD kHeads = 255;
constexpr win::DWORD kSectorsPerTrack = 63;

// The DOS name of the open device: -1 none, 0 defined by an open, 1 the
// definition failed.
char openName[win::MAX_PATH];
int nameDefined = -1;

void closeHandle(PedDevice* dev)
{
    win::CloseHandle(*dev->handle);
    *dev->handle = win::INVALID_HANDLE_VALUE;
}

void forgetOpenName(const char* target)
{
    if (nameDefined == 0)
        win::DefineDosDeviceA(win::DDD_RAW_TARGET_PATH | win::DDD_REMOVE_DEFINITION | win::DDD_EXACT_MATCH_ON_REMOVE,
                              openName, target);
    nameDefined = -1;
    std::memset(openName, 0, sizeof openName);
}

// The transfers' checks of the record, reported under the caller's name.
bool canTransfer(const Where& at, const PedDevice* dev)
{
    if (!dev) {
        report(at, "dev != NULL");
        return false;
    }
    if (dev->sector_size == 0 || dev->sector_size % PED_SECTOR_SIZE_DEFAULT != 0) {
        report(at, "dev->sector_size % PED_SECTOR_SIZE_DEFAULT == 0");
        return false;
    }
    return true;
}

bool seekTo(const PedDevice* dev, std::int64_t sector)
{
    win::LARGE_INTEGER at{};
    at.QuadPart = sector * static_cast<std::int64_t>(dev->sector_size);
    return win::SetFilePointerEx(*dev->handle, at, nullptr, win::FILE_BEGIN);
}

// Transfers above 4 GiB cannot be asked of one ReadFile or WriteFile.
bool byteCount(const PedDevice* dev, std::int64_t count, win::DWORD* bytes)
{
    const std::uint64_t total = static_cast<std::uint64_t>(count) * dev->sector_size;
    if (count < 0 || total > 0xFFFFFFFFull)
        return false;
    *bytes = static_cast<win::DWORD>(total);
    return true;
}

}  // namespace

bool setDevicePath(PedDevice* dev, const char* path)
{
    if (!setText(dev->path, path))
        return false;
    dev->parted.path = dev->path;
    return true;
}

void setDeviceExtent(PedDevice* dev, std::int64_t offset, std::int64_t length)
{
    dev->size = length;
    dev->length = dev->size / dev->phys_sector_size;
    dev->geom.start = offset / dev->phys_sector_size;
    dev->geom.length = length / dev->phys_sector_size;
    dev->geom.end = dev->geom.start + dev->geom.length - 1;
    dev->geom.dev = dev;
    dev->parted.length = dev->length;
    // libparted's CHS arithmetic divides by these.
    const ::PedCHSGeometry chs{static_cast<int>(dev->length / (kHeads * kSectorsPerTrack)), kHeads, kSectorsPerTrack};
    dev->parted.hw_geom = chs;
    dev->parted.bios_geom = chs;
}

PedDevice* ped_dev_win_new(const char* path)
{
    if (!path) {
        KX_REPORT(pedWindow, "path != NULL");
        return nullptr;
    }
    auto* dev = new (std::nothrow) PedDevice{};
    if (!dev)
        return nullptr;
    dev->handle = new (std::nothrow) win::HANDLE(win::INVALID_HANDLE_VALUE);
    if (!dev->handle || !setDevicePath(dev, path)) {
        delete dev->handle;
        delete dev;
        return nullptr;
    }
    dev->read_only = 0;
    dev->dirty = 0;
    dev->sector_size = kDefaultSectorSize;
    dev->phys_sector_size = kDefaultSectorSize;
    dev->parted.sector_size = kDefaultSectorSize;
    dev->parted.phys_sector_size = kDefaultSectorSize;
    dev->parted.arch_specific = dev;
    return dev;
}

void ped_dev_win_destroy(PedDevice* dev)
{
    if (!dev)
        return;
    if (dev->disk) {
        // Volumes mounted through the crypto driver go before their table.
        auto unmountIfMounted = [](::PedPartition* part) {
            MsdosPartitionData* data = partData(part);
            if (data && data->fs && data->fs->mounted && data->fs->ops.unmount)
                data->fs->ops.unmount(data->fs);
        };
        for (::PedPartition* part = nextTopLevel(dev->disk, nullptr); part; part = nextTopLevel(dev->disk, part)) {
            if (part->type & PED_PARTITION_EXTENDED) {
                for (::PedPartition* l = nextLogical(dev->disk, nullptr); l; l = nextLogical(dev->disk, l))
                    unmountIfMounted(l);
            } else {
                unmountIfMounted(part);
            }
        }
        ::ped_disk_destroy(dev->disk);
        dev->disk = nullptr;
    }
    if (dev->handle && *dev->handle != win::INVALID_HANDLE_VALUE)
        ped_dev_win_close(dev);
    delete dev->handle;
    freeText(dev->path);
    freeText(dev->mount_point);
    freeText(dev->vendor);
    freeText(dev->product);
    delete dev;
}

int ped_dev_win_is_busy(PedDevice*)
{
    return 0;
}

int ped_dev_win_open(PedDevice* dev)
{
    if (!dev || !dev->handle || !dev->path)
        return 0;
    ped_dev_win_close(dev);

    std::snprintf(openName, sizeof openName, "kelvar%lu", static_cast<unsigned long>(win::GetCurrentProcessId()));
    if (!win::DefineDosDeviceA(win::DDD_RAW_TARGET_PATH, openName, dev->path)) {
        nameDefined = 1;
        kx_printf("ERR:[%s:%s:%d]: Define DOS Name Error:%d\n", KX_WHERE(pedWindow),
                  static_cast<int>(win::GetLastError()));
        return 0;
    }
    nameDefined = 0;

    char file[win::MAX_PATH + 8];
    std::snprintf(file, sizeof file, "\\\\.\\%s", openName);
    const win::DWORD share = win::FILE_SHARE_READ | win::FILE_SHARE_WRITE;
    int readOnly = 0;
    win::HANDLE handle = win::CreateFileA(file, win::GENERIC_READ | win::GENERIC_WRITE, share, nullptr,
                                          win::OPEN_EXISTING, 0, nullptr);
    if (handle == win::INVALID_HANDLE_VALUE) {
        handle = win::CreateFileA(file, win::GENERIC_READ, share, nullptr, win::OPEN_EXISTING, 0, nullptr);
        readOnly = 1;
    }
    if (handle == win::INVALID_HANDLE_VALUE) {
        kx_printf("ERR:[%s:%s:%d]: Fail to create file: %s\n", KX_WHERE(pedWindow), dev->path);
        // Nothing will close this open, so its name goes now.
        forgetOpenName(dev->path);
        return 0;
    }
    *dev->handle = handle;
    dev->read_only = readOnly;
    dev->parted.read_only = readOnly;
    return 1;
}

int ped_dev_win_close(PedDevice* dev)
{
    if (!dev || !dev->handle || *dev->handle == win::INVALID_HANDLE_VALUE)
        return 1;
    closeHandle(dev);
    forgetOpenName(dev->path);
    return 1;
}

int ped_dev_win_read(const PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count)
{
    if (!canTransfer(KX_HERE(pedWindow), dev))
        return 0;
    kx_printf("LOG:[%s:%s:%d]:Read:%s, start:0x%llx, count:0x%llx\n", KX_WHERE(pedWindow), dev->path,
              static_cast<unsigned long long>(start), static_cast<unsigned long long>(count));
    auto* self = const_cast<PedDevice*>(dev);
    if (!ped_dev_win_open(self))
        return 0;

    bool ok = seekTo(dev, start);
    if (!ok)
        kx_printf("ERR:[%s:%s:%d]:Fail to SetFilePointerEx(%d)", KX_WHERE(pedWindow),
                  static_cast<int>(win::GetLastError()));
    if (ok) {
        win::DWORD bytes = 0;
        win::DWORD got = 0;
        ok = byteCount(dev, count, &bytes) && win::ReadFile(*dev->handle, buffer, bytes, &got, nullptr);
        // A short read would leave the end of the caller's buffer stale.
        if (ok && got != bytes) {
            ok = false;
            win::SetLastError(win::ERROR_HANDLE_EOF);
        }
        if (!ok)
            kx_printf("ERR:[%s:%s:%d]:Fail to ReadFile, length:%d, Error = %d\n", KX_WHERE(pedWindow),
                      static_cast<int>(bytes), static_cast<int>(win::GetLastError()));
    }
    ped_dev_win_close(self);
    return ok ? 1 : 0;
}

int ped_dev_win_write(PedDevice* dev, const void* buffer, std::int64_t start, std::int64_t count)
{
    if (!canTransfer(KX_HERE(pedWindow), dev))
        return 0;
    kx_printf("Write[%s], start:0x%llx, count:0x%llx\n", dev->path, static_cast<unsigned long long>(start),
              static_cast<unsigned long long>(count));
    if (!ped_dev_win_open(dev))
        return 0;

    bool ok = false;
    win::DWORD bytes = 0;
    win::DWORD put = 0;
    if (dev->read_only) {
        kx_printf("ERR:[%s:%s:%d]: File Read Only!", KX_WHERE(pedWindow));
    } else if (!seekTo(dev, start)) {
        kx_printf("ERR:[%s:%s:%d]: Fail to SetFilePointerEx()!", KX_WHERE(pedWindow));
    } else if (!byteCount(dev, count, &bytes) || !win::WriteFile(*dev->handle, buffer, bytes, &put, nullptr) ||
               put != bytes) {
        kx_printf("ERR:[%s:%s:%d]: Fail to WriteFile()", KX_WHERE(pedWindow));
    } else {
        ok = true;
        dev->dirty = 1;
    }
    ped_dev_win_close(dev);
    return ok ? 1 : 0;
}

// Every transfer closes the handle behind it, so there is nothing to flush.
int ped_dev_win_sync(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedWindow, "dev != NULL");
        return 0;
    }
    return 1;
}

int ped_dev_win_sync_fast(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedWindow, "dev != NULL");
        return 0;
    }
    return 1;
}

std::int64_t ped_dev_win_check(PedDevice*, void*, std::int64_t, std::int64_t count)
{
    return count;
}

}  // namespace kx
