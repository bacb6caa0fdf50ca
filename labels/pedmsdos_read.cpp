// Reading a table from the disk. Everything read is untrusted: the checks
// on adding a partition reject what overlaps or leaves the disk, and the
// chain reader stops at loops; any failure leaves an empty list.
#include <string>
#include <vector>

#include "labels/pedmsdos_chain.h"
#include "labels/pedmsdos_internal.h"
#include "labels/partition_fs.h"
#include "device/peddevice.h"

namespace kx::msdos {

namespace {

::PedPartition* addRead(::PedDisk* disk, ::PedPartitionType type, ::PedSector start, ::PedSector end, int num,
                        std::uint8_t system, bool boot)
{
    ::PedPartition* part = ped_partition_new(disk, type, nullptr, start, end);
    if (!part)
        return nullptr;
    part->num = num;
    MsdosPartitionData* d = partData(part);
    d->system = system;
    flagsFromSystemId(d, system);
    d->boot = boot ? 1 : 0;
    if (system == 0x42) {
        d->has_orig = true;
        d->orig_start = start;
        d->orig_length = end - start + 1;
    }
    if (!ped_disk_add_partition(disk, part, nullptr)) {
        ped_partition_destroy(part);
        return nullptr;
    }
    return part;
}

// Ties the partition to the device Windows shows for it, when it shows one
// yet; a table just written is often not shown for a while.
void probeOwnDevice(::PedPartition* part, int firstOnly)
{
    const PedDeviceOps* ops = deviceOps();
    if (ops && ops->probe_part)
        ops->probe_part(part, firstOnly);
}

// A removable disk we never wrote: Windows shows it as one volume, whatever
// its entries say.
bool readWholeDisk(::PedDisk* disk, const PedDevice* dev)
{
    ::PedSector start = dev->geom.length > 0 ? dev->geom.start : 0;
    ::PedSector end = dev->geom.length > 0 ? dev->geom.end : disk->dev->length - 1;
    if (end > disk->dev->length - 1)
        end = disk->dev->length - 1;
    if (start < 0 || end < start)
        return false;
    ::PedPartition* part = addRead(disk, PED_PARTITION_NORMAL, start, end, 1, systemIdOfCode(FS_NONE), false);
    if (!part)
        return false;
    // Windows shows such a disk as its first partition, wherever it lies.
    probeOwnDevice(part, 1);
    return partitionFsRefresh(part, 1) != nullptr;
}

bool readChainOf(::PedDisk* disk, const ::PedPartition* ext)
{
    std::vector<mbr::Logical> logicals;
    const auto status = mbr::readChain(
        static_cast<std::uint64_t>(ext->geom.start), static_cast<std::uint64_t>(ext->geom.end), pathOf(disk),
        [disk](std::uint64_t lba, std::uint8_t* out) { return readSector(disk, lba, out); },
        [](const std::string& line) { kx_printf("%s\n", line.c_str()); }, logicals);
    if (status != mbr::ChainStatus::Ok)
        return false;
    int num = 5;
    for (const mbr::Logical& l : logicals) {
        if (!addRead(disk, PED_PARTITION_LOGICAL, static_cast<::PedSector>(l.start), static_cast<::PedSector>(l.end),
                     num++, l.system, l.boot))
            return false;
    }
    return true;
}

bool readEntries(::PedDisk* disk, const mbr::Sector& sector)
{
    const ::PedPartition* ext = nullptr;
    for (int slot = 0; slot < 4; ++slot) {
        const mbr::Entry e = mbr::getEntry(sector.data(), slot);
        if (e.empty())
            continue;
        if (e.start == 0) {
            kx_printf("Invalid partition table - recursive partition on %s.\n", pathOf(disk));
            continue;
        }
        ::PedPartitionType type = PED_PARTITION_NORMAL;
        if (e.system == 0xEE)
            type = PED_PARTITION_PROTECTED;
        else if (mbr::isExtendedId(e.system))
            type = PED_PARTITION_EXTENDED;
        ::PedSector end = static_cast<::PedSector>(e.start) + e.count - 1;
        // A protective entry may claim more than the disk (0xFFFFFFFF).
        if (type == PED_PARTITION_PROTECTED && end > disk->dev->length - 1)
            end = disk->dev->length - 1;
        ::PedPartition* part = addRead(disk, type, e.start, end, slot + 1, e.system, e.status == 0x80);
        if (!part)
            return false;
        if (type == PED_PARTITION_EXTENDED)
            ext = part;
    }
    if (ext && !readChainOf(disk, ext))
        return false;

    for (::PedPartition* p = nextTopLevel(disk, nullptr); p; p = nextTopLevel(disk, p)) {
        if (p->type != PED_PARTITION_NORMAL)
            continue;
        probeOwnDevice(p, 0);
        if (!partitionFsRefresh(p, 0))
            return false;
    }
    for (::PedPartition* l = nextLogical(disk, nullptr); l; l = nextLogical(disk, l)) {
        probeOwnDevice(l, 0);
        if (!partitionFsRefresh(l, 0))
            return false;
    }
    return true;
}

}  // namespace

int read(::PedDisk* disk)
{
    const PedDevice* dev = deviceOf(disk);
    MsdosDiskData* data = diskData(disk);
    if (!dev || !data)
        return 0;
    ::ped_disk_delete_all(disk);
    disk->needs_clobber = 0;  // a table read from the disk is never wiped before a write
    data->marked = 0;

    mbr::Sector sector{};
    if (!readSector(disk, 0, sector.data()))
        return 0;
    const std::uint16_t magic = mbr::magicOf(sector.data());
    if (magic != mbr::kMagic) {
        kx_printf("Invalid partition table on %s -- wrong signature %x.\n", pathOf(disk), magic);
        return 1;
    }
    data->marked = mbr::isMarked(sector.data()) ? 1 : 0;

    const bool ok = !data->marked && ped_device_removable(dev) ? readWholeDisk(disk, dev) : readEntries(disk, sector);
    if (!ok) {
        ::ped_disk_delete_all(disk);
        return 0;
    }
    return 1;
}

}  // namespace kx::msdos
