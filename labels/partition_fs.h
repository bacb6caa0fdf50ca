// The file-system record a partition carries: its code (the API's kinds
// and the MBR system ids they are written as) and its fields. The record's
// operations live in the file-system layer above; the table reaches them
// only through the table of record operations that layer installs.
#pragma once

#include <parted/parted.h>

#include <cstdint>

namespace kx {

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

// Record operations the table needs, installed by the file-system layer at
// start-up; before that no record is made and a read fails.
struct PartitionFsOps {
    PedPartFs* (*create)(::PedPartition* part, int code);
    void (*destroy)(PedPartFs* fs);
    PedPartFs* (*refresh)(::PedPartition* part, int codeZero);
};
void setPartitionFsOps(const PartitionFsOps* ops);

PedPartFs* partitionFsNew(::PedPartition* part, int code);
void partitionFsDestroy(PedPartFs* fs);
PedPartFs* partitionFsRefresh(::PedPartition* part, int codeZero);

}  // namespace kx
