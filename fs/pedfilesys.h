// The file-system record every primary and logical partition carries: its
// code, label, figures and four operations (refresh, format, mount, unmount).
#pragma once

#include <parted/parted.h>

#include <cstdint>

namespace kx {

namespace source {
// The module path the file-system operations report under.
inline constexpr const char* pedFileSys = ".\\fs\\pedfilesys";
}  // namespace source

// File-system codes kept in the record (the API's kinds map onto them).
enum FsCode : int {
    FS_NONE = 0,
    FS_FAT = 1,
    FS_FAT32 = 2,
    FS_NTFS = 3,
    FS_PRIVATE_FAT = 6,
    FS_PRIVATE_FAT32 = 7,
    FS_PRIVATE_NTFS = 8,
    FS_SYSTEM = 9,
};

bool isPrivateCode(int code);
// API kind (0..7) to code and back; unknown kinds give FS_NONE, unknown codes -1.
int codeOfKind(int kind);
int kindOfCode(int code);
// MBR system id written for a code, and the code read back from an id.
unsigned char systemIdOfCode(int code);
int codeOfSystemId(unsigned char id);

struct PedPartFs;

struct PedPartFsOps {
    PedPartFs* (*refresh)(::PedPartition* part, int codeZero);
    int (*format)(PedPartFs* fs, const char* password, const char* label, int quick, int clusterSize);
    int (*mount)(PedPartFs* fs, const char* password, const char* mountpoint);
    int (*unmount)(PedPartFs* fs);
};

struct PedPartFs {
    ::PedPartition* part = nullptr;
    char* label = nullptr;
    int code = FS_NONE;
    int cluster_size = 4096;
    std::uint64_t size = 0;  // bytes
    std::uint64_t free = 0;  // bytes
    int mounted = 0;
    int private_volume = 0;
    PedPartFsOps ops{};
};

// The format operation: 0 formatted, else a KX_FORMAT_* code (kx.h).
int ped_file_system_format(PedPartFs* fs, const char* password, const char* label, int quick, int clusterSize);
// The mount operation: the private volume mounted through the encryption
// driver on the mountpoint's letter, or on the first free one from D:.
// 1 mounted, 0 not.
int ped_file_system_mount(PedPartFs* fs, const char* password, const char* mountpoint);
// The unmount operation: 1 unmounted, 0 not.
int ped_file_system_umount(PedPartFs* fs);
// The process-wide percentage of the running or last format. Read without
// the library lock.
int ped_file_system_format_progress();

// Makes or refreshes the partition's record (the refresh operation).
PedPartFs* ped_file_system_refresh(::PedPartition* part, int codeZero);
// A new record with the code and the four operations; caller attaches it.
PedPartFs* ped_file_system_new(::PedPartition* part, int code);
void ped_file_system_destroy(PedPartFs* fs);

}  // namespace kx
