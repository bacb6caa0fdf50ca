// The Windows device backend: device records opened through a per-process
// DOS name, whole-sector transfers, drive identity by SCSI INQUIRY, drive
// letters, and the probe operations discovery calls.
#pragma once

#include <parted/parted.h>

#include <cstdint>

#include "parted/peddevice.h"
#include "platform/win_ioctl.h"

namespace kx {

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

// Support operations on kernel device paths ("\Device\HarddiskN\PartitionM").
int pathExists(const char* path);
int partitionInformation(const char* path, win::PARTITION_INFORMATION* info);
// 0 for A: ... 25 for Z:, -1 for none.
int driveLetter(const char* path);
// Vendor (9 bytes), product (17) and version (5) from a SCSI INQUIRY.
int ped_dev_get_info(int drive, char* vendor, char* product, char* version);
int isRemovableDiskEx(int drive);
int ped_dev_win_match(const PedWinDev* candidate, const char* vendor, const char* product, const char* version);

// The temporary DOS name of this process ("kelvar<pid>"), defined for a
// kernel path around one use. defineTempName returns false when Windows
// refused the definition.
const char* tempDosName();
bool defineTempName(const char* target);
void removeTempName(const char* target);

// The disk operation table (libparted's architecture disk operations).
int commitToSystem(::PedDisk* disk);

}  // namespace kx
