// Kernel device paths as the library sees them: whether one exists, its
// partition extent and drive letter, the drive's identity by SCSI INQUIRY,
// and the per-process DOS name a path is opened through.
#pragma once

#include <cstddef>

#include "device/peddevice.h"
#include "platform/win_ioctl.h"

namespace kx {

// Support operations on kernel device paths ("\Device\HarddiskN\PartitionM").
int pathExists(const char* path);
int partitionInformation(const char* path, win::PARTITION_INFORMATION* info);
// 0 for A: ... 25 for Z:, -1 for none.
int driveLetter(const char* path);
// Vendor (9 bytes), product (17) and version (5) from a SCSI INQUIRY, and
// when asked the serial number the drive's descriptor holds ("" when it
// holds none), from one open of the drive.
int ped_dev_get_info(int drive, char* vendor, char* product, char* version, char* serial = nullptr,
                     std::size_t serialSize = 0);
// 0 when the disk drive instance id carries a serial number and it is not
// this drive's: appliances of one model tell apart only by their serials.
int ped_dev_win_serial_agrees(const char* instanceId, const char* serial);
int isRemovableDiskEx(int drive);
// 1 when a drive's friendly name is that vendor and product.
int ped_dev_win_match_name(const char* friendlyName, const char* vendor, const char* product, const char* version);

// The temporary DOS name of this process ("kelvar<pid>"), defined for a
// kernel path around one use. defineTempName returns false when Windows
// refused the definition.
const char* tempDosName();
bool defineTempName(const char* target);
void removeTempName(const char* target);

// Drive letter of a partition path with the retries of a slow mount manager:
// 0 for A: ... 25 for Z:, -1 when still none. caller names the reporter.
int driveLetterWithRetries(const char* path, const char* caller);
// Stores "X:" as the record's mount point.
bool setMountPoint(PedDevice* dev, int letter);

}  // namespace kx
