// File-system codes (the API's kinds and the MBR system ids they map to),
// and the table's way to the record operations above it.
#include <array>

#include "labels/partition_fs.h"

namespace kx {

namespace {

const PartitionFsOps* recordOps = nullptr;

struct CodeRow {
    int kind;
    int code;
    unsigned char systemId;
};

constexpr std::array<CodeRow, 8> kRows = {{
    {0, FS_NONE, 0x83},
    {1, FS_FAT, 0x06},
    {2, FS_FAT32, 0x0B},
    {3, FS_NTFS, 0x07},
    {4, FS_PRIVATE_FAT, 0x16},
    {5, FS_PRIVATE_FAT32, 0x1B},
    {6, FS_PRIVATE_NTFS, 0x17},
    {7, FS_SYSTEM, 0x82},
}};

}  // namespace

bool isPrivateCode(int code)
{
    return code == FS_PRIVATE_FAT || code == FS_PRIVATE_FAT32 || code == FS_PRIVATE_NTFS;
}

int codeOfKind(int kind)
{
    for (const CodeRow& r : kRows)
        if (r.kind == kind)
            return r.code;
    return FS_NONE;
}

int kindOfCode(int code)
{
    for (const CodeRow& r : kRows)
        if (r.code == code)
            return r.kind;
    return -1;
}

unsigned char systemIdOfCode(int code)
{
    for (const CodeRow& r : kRows)
        if (r.code == code)
            return r.systemId;
    return 0x83;
}

int codeOfSystemId(unsigned char id)
{
    // 0x83 is what code 0 is written as, and any id not named reads as 0.
    for (const CodeRow& r : kRows)
        if (r.systemId == id)
            return r.code;
    return FS_NONE;
}

void setPartitionFsOps(const PartitionFsOps* ops)
{
    recordOps = ops;
}

PedPartFs* partitionFsNew(::PedPartition* part, int code)
{
    return recordOps ? recordOps->create(part, code) : nullptr;
}

void partitionFsDestroy(PedPartFs* fs)
{
    if (recordOps)
        recordOps->destroy(fs);
}

PedPartFs* partitionFsRefresh(::PedPartition* part, int codeZero)
{
    return recordOps ? recordOps->refresh(part, codeZero) : nullptr;
}

}  // namespace kx
