#include "devices/mbr_scan.h"

#include <set>

#include "platform/win_ioctl.h"

namespace machine {

namespace {

constexpr int kMaxLogical = 128;

std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

struct Entry {
    std::uint8_t status, type;
    std::uint32_t start, count;
};

Entry entryAt(const std::uint8_t* sector, int slot)
{
    const std::uint8_t* e = sector + 446 + 16 * slot;
    return {e[0], e[4], le32(e + 8), le32(e + 12)};
}

bool hasSignature(const std::uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

bool fits(std::uint64_t start, std::uint64_t count, std::uint64_t diskSectors)
{
    return start > 0 && count > 0 && start < diskSectors && count <= diskSectors - start;
}

void walkExtended(const SectorReader& read, std::uint64_t extStart, std::uint64_t diskSectors, ScannedTable& table)
{
    std::set<std::uint64_t> seen;
    std::uint64_t ebr = extStart;
    std::uint8_t sector[512];
    for (int n = 0; n < kMaxLogical; ++n) {
        if (!seen.insert(ebr).second || ebr >= diskSectors || !read(ebr, sector) || !hasSignature(sector))
            return;
        Entry logical = entryAt(sector, 0);
        if (logical.type != 0 && !win::IsContainerPartition(logical.type) &&
            fits(ebr + logical.start, logical.count, diskSectors))
            table.partitions.push_back({ebr + logical.start, logical.count, logical.start, logical.type,
                                        logical.status == 0x80});
        Entry next = entryAt(sector, 1);
        if (!win::IsContainerPartition(next.type) || next.start == 0)
            return;
        ebr = extStart + next.start;
    }
}

}  // namespace

ScannedTable scanMbr(const SectorReader& read, std::uint64_t diskSectors)
{
    ScannedTable table;
    std::uint8_t mbr[512];
    if (!read(0, mbr) || !hasSignature(mbr))
        return table;
    table.signature = le32(mbr + 440);
    std::optional<Entry> extended;
    for (int slot = 0; slot < 4; ++slot) {
        Entry e = entryAt(mbr, slot);
        if (e.type == 0 || !fits(e.start, e.count, diskSectors))
            continue;
        if (win::IsContainerPartition(e.type)) {
            if (!extended)
                extended = e;
            continue;
        }
        table.partitions.push_back({e.start, e.count, e.start, e.type, e.status == 0x80});
    }
    if (extended)
        walkExtended(read, extended->start, diskSectors, table);
    return table;
}

}  // namespace machine
