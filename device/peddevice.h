// The device record of a whole disk or one partition, the registry of such
// records, and the front functions that call the device operation table.
//
// These names are the library's own and live in namespace kx: libparted has
// its own PedDevice and ped_device_* functions, which stay untouched. Each of
// our records carries a libparted device record (`parted`) so that libparted's
// disk code can work on it; its arch_specific field points back here.
#pragma once

#include <parted/parted.h>

#include <cstdint>

#include "platform/win_types.h"

namespace kx {

struct PedDevice;
struct PedWinDev;

// The record's own extent in 512-byte sectors of its disk.
struct PedDeviceGeometry {
    PedDevice* dev = nullptr;
    std::int64_t start = 0;
    std::int64_t length = 0;
    std::int64_t end = 0;
};

struct PedDevice {
    PedDevice* next = nullptr;
    char* path = nullptr;        // "\Device\HarddiskN\PartitionM"
    char* mount_point = nullptr; // "X:" of a partition, or none
    char* vendor = nullptr;      // whole disk only
    char* product = nullptr;     // whole disk only
    int partition = 0;           // 1 for a partition record
    int removable = 0;
    int type = 0;
    std::int64_t size = 0;       // bytes
    std::uint32_t sector_size = 512;
    std::uint32_t phys_sector_size = 512;
    std::int64_t length = 0;     // size / physical sector size
    PedDeviceGeometry geom;
    int read_only = 0;
    int dirty = 0;
    ::PedDisk* disk = nullptr;   // the table read from this whole disk
    win::HANDLE* handle = nullptr;
    ::PedDevice parted{};        // libparted's view of this record
};

// The record behind a libparted device record.
PedDevice* fromParted(const ::PedDevice* dev);

// The device operation table: sixteen entries, filled at start-up.
struct PedDeviceOps {
    PedDevice* (*create)(const char* path);
    void (*destroy)(PedDevice* dev);
    int (*is_busy)(PedDevice* dev);
    int (*open)(PedDevice* dev);
    int (*refresh_open)(PedDevice* dev);
    int (*close)(PedDevice* dev);
    int (*refresh_close)(PedDevice* dev);
    int (*read)(const PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count);
    int (*write)(PedDevice* dev, const void* buffer, std::int64_t start, std::int64_t count);
    int (*sync)(PedDevice* dev);
    int (*sync_fast)(PedDevice* dev);
    std::int64_t (*check)(PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count);
    void (*probe_all)();
    int (*probe)(PedWinDev* candidate);
    int (*probe_part)(::PedPartition* part, int first_only);
    int (*part_update_info)(::PedPartition* part);
    // The removable flag as the disk's candidate knows it now.
    int (*removable)(const PedDevice* dev);
};

// The table filled by start-up, or null before it.
const PedDeviceOps* deviceOps();
// Installed once by the backend's start-up; the records never call above it.
void setDeviceOps(const PedDeviceOps* ops);

// Front functions. A missing record or buffer is reported through kx_log and
// gives 0 or none.
PedDevice* ped_device_get(const char* path);
void ped_device_probe(const char* path);
PedDevice* ped_device_get_next(const PedDevice* dev);
void ped_device_destroy(PedDevice* dev);
void ped_device_cache_remove(PedDevice* dev);
int ped_device_is_busy(PedDevice* dev);
int ped_device_open(PedDevice* dev);
int ped_device_close(PedDevice* dev);
int ped_device_read(const PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count);
int ped_device_write(PedDevice* dev, const void* buffer, std::int64_t start, std::int64_t count);
std::int64_t ped_device_check(PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count);
int ped_device_sync(PedDevice* dev);
int ped_device_sync_fast(PedDevice* dev);
// Caller destroys the result with ped_constraint_destroy.
::PedConstraint* ped_device_get_constraint(const PedDevice* dev);
void ped_device_print(const PedDevice* dev);
// 0 for a missing record or before start-up.
int ped_device_removable(const PedDevice* dev);

// Registry walk from the head (first record registered).
PedDevice* registryHead();

}  // namespace kx
