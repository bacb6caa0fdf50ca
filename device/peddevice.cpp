// The registry of device records and the front functions over the device
// operation table.
#include "device/peddevice.h"

#include <cstdio>
#include <type_traits>

#include "kx/kx.h"
#include "common/kx_list.h"
#include "common/kx_message.h"

namespace kx {

namespace {

using source::pedDevice;

PedDevice* head = nullptr;
const PedDeviceOps* deviceTable = nullptr;

// The front functions' refusal of a missing argument, reported under the
// caller's name.
bool missing(const Where& at, const void* arg, const char* text)
{
    if (arg)
        return false;
    report(at, text);
    return true;
}

// Calls one entry of the table on dev; a missing record, or a table not
// built yet, gives 0.
template <typename Result, typename Dev, typename... Params>
Result callEntry(const Where& at, Result (*PedDeviceOps::*entry)(Dev*, Params...), std::type_identity_t<Dev>* dev,
                 std::type_identity_t<Params>... args)
{
    if (missing(at, dev, "dev == NULL"))
        return 0;
    const PedDeviceOps* ops = deviceOps();
    return ops ? (ops->*entry)(dev, args...) : 0;
}

// As callEntry for the transfers, which also refuse a missing buffer once
// the record is there.
template <typename Result, typename Dev, typename Buffer>
Result callTransfer(const Where& at, Result (*PedDeviceOps::*entry)(Dev*, Buffer*, std::int64_t, std::int64_t),
                    std::type_identity_t<Dev>* dev, std::type_identity_t<Buffer>* buffer, std::int64_t start,
                    std::int64_t count)
{
    if (dev && missing(at, buffer, "buffer == NULL"))
        return 0;
    return callEntry(at, entry, dev, buffer, start, count);
}

}  // namespace

PedDevice* fromParted(const ::PedDevice* dev)
{
    if (!dev)
        return nullptr;
    auto* ours = static_cast<PedDevice*>(dev->arch_specific);
    // Only records of ours carry a back pointer to themselves.
    return ours && &ours->parted == dev ? ours : nullptr;
}

PedDevice* registryHead()
{
    return head;
}

PedDevice* ped_device_get(const char* path)
{
    if (!path) {
        KX_REPORT(pedDevice, "path == NULL");
        return nullptr;
    }
    const PedDeviceOps* ops = deviceOps();
    if (!ops)
        return nullptr;
    PedDevice* dev = ops->create(path);
    if (dev)
        appendToList(head, dev);
    return dev;
}

void ped_device_probe(const char* path)
{
    (void)ped_device_get(path);
}

PedDevice* ped_device_get_next(const PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return nullptr;
    }
    return dev->next;
}

void ped_device_cache_remove(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return;
    }
    unlinkFromList(head, dev);
}

void ped_device_destroy(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return;
    }
    ped_device_cache_remove(dev);
    if (const PedDeviceOps* ops = deviceOps()) {
        ops->close(dev);
        ops->destroy(dev);
    }
}

int ped_device_is_busy(PedDevice* dev)
{
    return callEntry(KX_HERE(pedDevice), &PedDeviceOps::is_busy, dev);
}

int ped_device_open(PedDevice* dev)
{
    return callEntry(KX_HERE(pedDevice), &PedDeviceOps::open, dev);
}

int ped_device_close(PedDevice* dev)
{
    return callEntry(KX_HERE(pedDevice), &PedDeviceOps::close, dev);
}

int ped_device_read(const PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count)
{
    return callTransfer(KX_HERE(pedDevice), &PedDeviceOps::read, dev, buffer, start, count);
}

int ped_device_write(PedDevice* dev, const void* buffer, std::int64_t start, std::int64_t count)
{
    return callTransfer(KX_HERE(pedDevice), &PedDeviceOps::write, dev, buffer, start, count);
}

std::int64_t ped_device_check(PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count)
{
    return callTransfer(KX_HERE(pedDevice), &PedDeviceOps::check, dev, buffer, start, count);
}

int ped_device_sync(PedDevice* dev)
{
    return callEntry(KX_HERE(pedDevice), &PedDeviceOps::sync, dev);
}

int ped_device_sync_fast(PedDevice* dev)
{
    return callEntry(KX_HERE(pedDevice), &PedDeviceOps::sync_fast, dev);
}

::PedConstraint* ped_device_get_constraint(const PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return nullptr;
    }
    if (dev->length <= 0 || dev->sector_size == 0)
        return nullptr;
    const auto grain = static_cast<PedSector>(dev->phys_sector_size / dev->sector_size);
    ::PedAlignment* start = ped_alignment_new(grain, grain);
    ::PedGeometry* startRange = ped_geometry_new(&dev->parted, 0, dev->length);
    ::PedGeometry* endRange = ped_geometry_new(&dev->parted, 0, dev->length);
    ::PedConstraint* constraint = nullptr;
    if (start && startRange && endRange)
        constraint = ped_constraint_new(start, ped_alignment_any, startRange, endRange, 1, dev->length);
    // The constraint keeps copies of its parts.
    if (endRange)
        ped_geometry_destroy(endRange);
    if (startRange)
        ped_geometry_destroy(startRange);
    if (start)
        ped_alignment_destroy(start);
    return constraint;
}

void ped_device_print(const PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return;
    }
    if (dev->path)
        std::printf("Path: %s\t", dev->path);
    if (dev->mount_point)
        std::printf("Mount Point: %s\n", dev->mount_point);
    if (dev->vendor)
        std::printf("Vendor Name: %s\t", dev->vendor);
    if (dev->product)
        std::printf("Product Name: %s\t", dev->product);
    std::printf("Removable: %s\t", dev->removable ? "yes" : "no");
    std::printf("Partition: %s\t", dev->partition ? "yes" : "no");
    if (dev->size != 0)
        std::printf("Size: %lld\t", static_cast<long long>(dev->size));
    std::printf("type: %d\t", dev->type);
    std::printf("sector_size: %d\t", static_cast<int>(dev->sector_size));
    std::printf("phys_sector_size: %d\t", static_cast<int>(dev->phys_sector_size));
    std::printf("length: %lld\n", static_cast<long long>(dev->length));
    std::fflush(stdout);
}

int ped_device_removable(const PedDevice* dev)
{
    const PedDeviceOps* ops = deviceOps();
    return dev && ops && ops->removable ? ops->removable(dev) : 0;
}

const PedDeviceOps* deviceOps()
{
    return deviceTable;
}

void setDeviceOps(const PedDeviceOps* ops)
{
    deviceTable = ops;
}

}  // namespace kx
