// The device and disk operation tables of the Windows backend, and the
// libparted architecture that sends libparted's device and commit calls on
// our records into them, so libparted never does I/O of its own.
#include <new>

#include "arch/pedwinbase.h"
#include "arch/pedwindow.h"
#include "device/peddevice.h"

// libparted exports its architecture without declaring it in its installed
// headers. Its ped_set_architecture takes no argument in 3.5 and only ever
// picks its own Linux backend, so ours is installed by assignment.
struct _PedArchitecture {
    PedDiskArchOps* disk_ops;
    PedDeviceArchOps* dev_ops;
};
extern "C" const struct _PedArchitecture* ped_architecture;

namespace kx {

namespace {

const _PedDiskArchOps* diskTable = nullptr;

// Adapters from libparted's device records to ours.
::PedDevice* partedNew(const char*)
{
    return nullptr;  // libparted never makes devices of its own here
}

void partedDestroy(::PedDevice*) {}

int partedIsBusy(::PedDevice* dev)
{
    PedDevice* ours = fromParted(dev);
    return ours ? deviceOps()->is_busy(ours) : 0;
}

int partedOpen(::PedDevice* dev)
{
    PedDevice* ours = fromParted(dev);
    if (!ours || !deviceOps()->open(ours))
        return 0;
    dev->read_only = ours->read_only;
    return 1;
}

// libparted opens a device again while it is open (a table read inside a
// commit); our reads and writes open and close by themselves.
int partedRefresh(::PedDevice*)
{
    return 1;
}

int partedClose(::PedDevice* dev)
{
    PedDevice* ours = fromParted(dev);
    return ours ? deviceOps()->close(ours) : 0;
}

int partedRead(const ::PedDevice* dev, void* buffer, PedSector start, PedSector count)
{
    PedDevice* ours = fromParted(dev);
    return ours ? deviceOps()->read(ours, buffer, start, count) : 0;
}

int partedWrite(::PedDevice* dev, const void* buffer, PedSector start, PedSector count)
{
    PedDevice* ours = fromParted(dev);
    return ours ? deviceOps()->write(ours, buffer, start, count) : 0;
}

int partedSync(::PedDevice* dev)
{
    PedDevice* ours = fromParted(dev);
    return ours ? deviceOps()->sync(ours) : 0;
}

int partedSyncFast(::PedDevice* dev)
{
    PedDevice* ours = fromParted(dev);
    return ours ? deviceOps()->sync_fast(ours) : 0;
}

PedSector partedCheck(::PedDevice* dev, void* buffer, PedSector start, PedSector count)
{
    PedDevice* ours = fromParted(dev);
    return ours ? deviceOps()->check(ours, buffer, start, count) : 0;
}

void partedProbeAll() {}

_PedDeviceArchOps partedDeviceOps = {
    partedNew,  partedDestroy, partedIsBusy,   partedOpen,    partedRefresh, partedClose, partedRefresh,
    partedRead, partedWrite,   partedSync,     partedSyncFast, partedCheck,  partedProbeAll,
    nullptr,    nullptr,
};

char* partitionPath(const ::PedPartition*)
{
    return nullptr;
}

int partitionIsBusy(const ::PedPartition*)
{
    return 0;
}

_PedArchitecture architecture{};

}  // namespace

bool initDeviceTables()
{
    // Start-up may run more than once in a process; the tables stay.
    if (deviceOps() && diskTable)
        return true;
    auto* dev = new (std::nothrow) PedDeviceOps{
        ped_dev_win_new,   ped_dev_win_destroy, ped_dev_win_is_busy,  ped_dev_win_open,
        nullptr,           ped_dev_win_close,   nullptr,              ped_dev_win_read,
        ped_dev_win_write, ped_dev_win_sync,    ped_dev_win_sync_fast, ped_dev_win_check,
        nullptr,           ped_dev_win_probe,   ped_dev_win_probe_part, ped_dev_win_part_update_info,
        removableOf,
    };
    auto* disk = new (std::nothrow) _PedDiskArchOps{partitionPath, partitionIsBusy, commitToSystem};
    if (!dev || !disk) {
        delete dev;
        delete disk;
        return false;
    }
    setDeviceOps(dev);
    diskTable = disk;
    architecture.disk_ops = diskTable;
    architecture.dev_ops = &partedDeviceOps;
    ped_architecture = &architecture;
    return true;
}

}  // namespace kx
