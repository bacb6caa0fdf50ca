// The Windows device backend: device records opened through a per-process
// DOS name, whole-sector transfers, and the probe operations discovery calls.
#pragma once

#include <parted/parted.h>

#include <cstdint>

#include "arch/pedwinbase.h"
#include "device/peddevice.h"
#include "windev/pedwindow_paths.h"
#include "platform/win_ioctl.h"

namespace kx {

// Builds the device and disk operation tables of this backend and joins
// libparted to them; false on failure.
bool initDeviceTables();

// The operations of the device table.
PedDevice* ped_dev_win_new(const char* path);
void ped_dev_win_destroy(PedDevice* dev);
int ped_dev_win_is_busy(PedDevice* dev);
int ped_dev_win_open(PedDevice* dev);
int ped_dev_win_close(PedDevice* dev);
int ped_dev_win_read(const PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count);
int ped_dev_win_write(PedDevice* dev, const void* buffer, std::int64_t start, std::int64_t count);
int ped_dev_win_sync(PedDevice* dev);
int ped_dev_win_sync_fast(PedDevice* dev);
std::int64_t ped_dev_win_check(PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count);
int ped_dev_win_probe(PedWinDev* candidate);
// Gives a partition of a table just read its own device record and drive
// letter (first_only: the disk's first partition, whatever its extent); the
// table read calls it for each partition it adds, before the file-system
// refresh that needs the record.
int ped_dev_win_probe_part(::PedPartition* part, int first_only);
int ped_dev_win_part_update_info(::PedPartition* part);

// True when the candidate's friendly name is the drive's vendor and product
// as Windows writes them, and its instance id does not name another serial.
inline int ped_dev_win_match(const PedWinDev* candidate, const char* vendor, const char* product, const char* version,
                             const char* serial = nullptr)
{
    return candidate && ped_dev_win_match_name(candidate->friendly_name, vendor, product, version) &&
                   ped_dev_win_serial_agrees(candidate->name, serial)
               ? 1
               : 0;
}

// The disk operation table (libparted's architecture disk operations).
int commitToSystem(::PedDisk* disk);

}  // namespace kx
