// Discovery of disk drives (candidates tied to whole-disk device records),
// the USB filters, and the disk and partition operations on a matched disk.
#pragma once

#include <parted/parted.h>

#include <cstdint>

#include "kx/kx.h"
#include "device/peddevice.h"

namespace kx {

// One present disk drive tied to a physical drive.
struct PedWinDev {
    PedWinDev* next = nullptr;
    char* friendly_name = nullptr;  // SPDRP_FRIENDLYNAME
    char* name = nullptr;           // device instance id
    int present = 0;                // scratch mark of probes and change counts
    kx_device dev{};                // handed out by kx_dev_get
    kx_disk disk{};                 // handed out by kx_disk_get
    PedDevice* peddev = nullptr;    // owned whole-disk record, or none
};

// Head of the candidate list.
PedWinDev* candidates();

// Discovery.
int PedWinDeviceProbe();
int PedWinDeviceIsChange(int* incnop, int* decnop);
int PedDeviceIsChange(int* incnop, int* decnop);
int PedWinDeviceValid(PedWinDev* dev);
int PedWinDeviceMissMatch(PedWinDev* dev);
int PedWinDeviceMatchId(const char* id);
PedWinDev* PedWinDeviceGetMatchDev(const PedDevice* dev);
int PwdWinDeviceGetVidInfo(const char* devpath, char* out);
int PedWinDeviceIsNeedFormat(const char* devpath);
kx_device* nextMatchingDevice(const kx_device* prev, int flag, int vid);
int isRemovableDisk(const char* instanceId);
int removableOf(const PedDevice* dev);
void freeCandidates();
// The entry refresh from its device record (paths, sizes, partition counts).
void refreshCandidate(PedWinDev* dev);
// The partition records (PedWinPart) of its table; part of the entry refresh.
void refreshPartitionRecords(PedWinDev* dev);

// Disk and partition operations on a matched disk.
int PedWinDeviceDiskProbe(const char* devpath);
void PedWinDeviceDiskDestroy(const char* devpath);
kx_disk* PedWinDeviceDiskGet(const char* devpath);
std::uint64_t PedWinDeviceDiskFreespace(kx_disk* disk, int type);
int PedWinDeviceGetUserInfo(kx_disk* disk, kx_user_info* user);
int PedWinDeviceSetUserInfo(kx_disk* disk, const kx_user_info* user);
int PedWinDeviceGetDataRaw(PedDevice* dev, void* buffer, std::uint32_t length, std::uint64_t sector, std::int32_t offset);
int PedWinDeviceSetDataRaw(PedDevice* dev, const void* buffer, std::uint32_t length, std::uint64_t sector,
                           std::int32_t offset);
PedWinPart* PedWinPartInfo(kx_disk* disk, PedWinPart* previous, int type);
int PedWinPartDeleteAll(kx_disk* disk);
int PedWinPartCreate(kx_disk* disk, int pflag, int fflag, std::uint64_t size, int commit);
int PedWinPartCheckReady(kx_disk* disk);
int PedWinPartDelete(PedWinPart* part);
// 0 formatted, else the format operation's KX_FORMAT_* code.
int PedWinPartFormat(PedWinPart* part, const char* password, const char* label, int quick, int clusterSize);
// The process-wide format percentage; part is not consulted.
int PedWinPartFormatProgress(PedWinPart* part);
// 0 unloaded, 1 not.
int PedWinPartUnload(PedWinPart* part);
// 0 loaded (mounted through the encryption driver), 1 not.
int PedWinPartLoad(PedWinPart* part, const char* password, const char* mountpoint);
// 1 when the password opens the private volume's header (which is then
// written again under it), else 0.
int PedWinPartChkPwd(PedWinPart* part, const char* pwd);
// 1 when the header was re-encrypted under newpwd, else 0.
int PedWinPartModifyPwd(PedWinPart* part, const char* oldpwd, const char* newpwd);
// The entry that owns a disk handle, or none.
PedWinDev* entryOfDisk(const kx_disk* disk);
// Commit a changed table: write it, then ask Windows to re-read it.
// 1 when the table was written.
int commitTable(::PedDisk* disk);

}  // namespace kx
