// The kernel's reading of an MBR disk (primary entries and the extended
// chain) over a disk described by the input (sparse_disk.h).
#include <cstdint>
#include <cstdlib>

#include "devices/mbr_scan.h"
#include "sparse_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzzing::SparseDisk disk(data, size);
    const machine::ScannedTable table =
        machine::scanMbr([&](std::uint64_t lba, std::uint8_t* out) { return disk.read(lba, out); }, disk.sectors());
    // Whatever the bytes say, what is published lies on the disk and is not empty.
    for (const machine::ScannedPartition& p : table.partitions)
        if (p.startSector == 0 || p.sectorCount == 0 || p.startSector >= disk.sectors() ||
            p.sectorCount > disk.sectors() - p.startSector)
            std::abort();
    if (table.partitions.size() > 4 + 128)
        std::abort();
    return 0;
}
