// The registry of device records and the front functions over the device
// operation table.
#include "parted/peddevice.h"

#include <cstdio>

#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_message.h"

namespace kx {

namespace {

using source::pedDevice;

PedDevice* head = nullptr;

void append(PedDevice* dev)
{
    dev->next = nullptr;
    PedDevice** link = &head;
    while (*link)
        link = &(*link)->next;
    *link = dev;
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
        append(dev);
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
    for (PedDevice** link = &head; *link; link = &(*link)->next) {
        if (*link == dev) {
            *link = dev->next;
            dev->next = nullptr;
            return;
        }
    }
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
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->is_busy(dev) : 0;
}

int ped_device_open(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->open(dev) : 0;
}

int ped_device_close(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->close(dev) : 0;
}

int ped_device_read(const PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    if (!buffer) {
        KX_REPORT(pedDevice, "buffer == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->read(dev, buffer, start, count) : 0;
}

int ped_device_write(PedDevice* dev, const void* buffer, std::int64_t start, std::int64_t count)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    if (!buffer) {
        KX_REPORT(pedDevice, "buffer == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->write(dev, buffer, start, count) : 0;
}

std::int64_t ped_device_check(PedDevice* dev, void* buffer, std::int64_t start, std::int64_t count)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    if (!buffer) {
        KX_REPORT(pedDevice, "buffer == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->check(dev, buffer, start, count) : 0;
}

int ped_device_sync(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->sync(dev) : 0;
}

int ped_device_sync_fast(PedDevice* dev)
{
    if (!dev) {
        KX_REPORT(pedDevice, "dev == NULL");
        return 0;
    }
    const PedDeviceOps* ops = deviceOps();
    return ops ? ops->sync_fast(dev) : 0;
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

int PedDeviceIsChange(int* incnop, int* decnop)
{
    if (!incnop || !decnop) {
        KX_REPORT(pedDevice, "incnop != NULL && decnop != NULL");
        return 0;
    }
    return PedWinDeviceIsChange(incnop, decnop);
}

}  // namespace kx
