// Writing the table: sector 0 as the appliance keeps it, and the chain of
// extended boot records for the logical partitions.
#include <ctime>
#include <string>
#include <vector>

#include "labels/pedmsdos_chain.h"
#include "labels/pedmsdos_internal.h"
#include "device/peddevice.h"

namespace kx::msdos {

namespace {

constexpr ::PedSector kMax32 = 0xFFFFFFFFll;

int secondsNow()
{
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local ? local->tm_sec : 0;
}

bool putPrimary(const ::PedDisk* disk, std::uint8_t* sector, const ::PedPartition* part)
{
    const MsdosPartitionData* d = partData(part);
    ::PedSector start = part->geom.start;
    ::PedSector length = part->geom.length;
    // A dynamic disk's entry keeps what Windows wrote.
    if (d->system == 0x42 && d->has_orig) {
        start = d->orig_start;
        length = d->orig_length;
    }
    if (start > kMax32 || length > kMax32) {
        kx_printf("Partition %d on %s is beyond what the table can address.\n", part->num, pathOf(disk));
        return false;
    }
    mbr::Entry e;
    e.status = d->boot ? 0x80 : 0;
    e.system = d->system;
    e.start = static_cast<std::uint32_t>(start);
    e.count = static_cast<std::uint32_t>(length);
    mbr::putEntry(sector, part->num - 1, e, start, start + length - 1, chsGeometry(disk));
    return true;
}

bool writeChain(const ::PedDisk* disk, PedDevice* dev)
{
    const ::PedPartition* ext = ped_disk_extended_partition(disk);
    if (!ext)
        return true;
    std::vector<mbr::Logical> logicals;
    for (const ::PedPartition* l = nextLogical(disk, nullptr); l; l = nextLogical(disk, l)) {
        const MsdosPartitionData* d = partData(l);
        logicals.push_back({static_cast<std::uint64_t>(l->geom.start), static_cast<std::uint64_t>(l->geom.end),
                            d->system, d->boot != 0});
    }
    std::vector<mbr::EbrWrite> records;
    std::string why;
    if (!mbr::planChain(static_cast<std::uint64_t>(ext->geom.start), static_cast<std::uint64_t>(ext->geom.end),
                        logicals, chsGeometry(disk), records, &why)) {
        kx_printf("Cannot write the logical partitions of %s: %s.\n", pathOf(disk), why.c_str());
        return false;
    }
    for (const mbr::EbrWrite& r : records) {
        if (!ped_device_write(dev, r.bytes.data(), static_cast<std::int64_t>(r.sector), 1))
            return false;
    }
    return true;
}

}  // namespace

int write(const ::PedDisk* disk)
{
    PedDevice* dev = deviceOf(disk);
    mbr::Sector sector{};
    if (!dev || !readSector(disk, 0, sector.data()))
        return 0;
    mbr::prepareSectorZero(sector.data(), secondsNow());
    for (int n = 1; n <= 4; ++n) {
        const ::PedPartition* part = ped_disk_get_partition(disk, n);
        if (part && partData(part) && !putPrimary(disk, sector.data(), part))
            return 0;
    }
    // The chain first: sector 0 then never points at records not yet there.
    if (!writeChain(disk, dev))
        return 0;
    if (!ped_device_write(dev, sector.data(), 0, 1))
        return 0;
    return ped_device_sync(dev);
}

}  // namespace kx::msdos
