// Partition information, device number, geometry, length, and the table
// re-read.
#include <cstring>

#include "devices/ioctl_handlers.h"
#include "host/host_backing.h"
#include "platform/win_api.h"

namespace win::detail {

namespace {

constexpr DWORD kHeads = 255;
constexpr DWORD kSectorsPerTrack = 63;

template <typename T>
BOOL answer(IoctlCall& call, const T& record)
{
    if (!call.out || call.outSize < sizeof(T))
        return failIoctl(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(call.out, &record, sizeof(T));
    *call.returned = sizeof(T);
    return TRUE;
}

}  // namespace

BOOL getPartitionInfo(IoctlCall& call)
{
    if (!call.device.canRead())
        return failIoctl(ERROR_ACCESS_DENIED);
    PARTITION_INFORMATION info{};
    const DeviceTarget& t = call.device.target;
    info.StartingOffset.QuadPart = static_cast<LONGLONG>(t.offset);
    info.PartitionLength.QuadPart = static_cast<LONGLONG>(t.length);
    if (t.partition != 0) {
        for (const auto& p : call.disk.partitions)
            if (p.number == t.partition) {
                info.HiddenSectors = p.hiddenSectors;
                info.PartitionNumber = static_cast<DWORD>(p.number);
                info.PartitionType = p.type;
                info.BootIndicator = p.boot;
                info.RecognizedPartition = IsRecognizedPartition(p.type);
            }
    }
    return answer(call, info);
}

// Volumes answer for the partition behind them, so a letter can be told
// apart from another disk's partition of the same layout.
BOOL storageGetDeviceNumber(IoctlCall& call)
{
    if (call.disk.faults.refuseDeviceNumber)
        return failIoctl(ERROR_INVALID_FUNCTION);
    STORAGE_DEVICE_NUMBER number{};
    number.DeviceType = FILE_DEVICE_DISK;
    number.DeviceNumber = static_cast<ULONG>(call.disk.number);
    number.PartitionNumber = static_cast<ULONG>(call.device.target.partition);
    return answer(call, number);
}

BOOL getDriveGeometry(IoctlCall& call)
{
    DISK_GEOMETRY g{};
    g.Cylinders.QuadPart = static_cast<LONGLONG>(call.disk.size / (512ull * kHeads * kSectorsPerTrack));
    g.MediaType = call.disk.removable ? RemovableMedia : FixedMedia;
    g.TracksPerCylinder = kHeads;
    g.SectorsPerTrack = kSectorsPerTrack;
    g.BytesPerSector = 512;
    return answer(call, g);
}

BOOL getLengthInfo(IoctlCall& call)
{
    if (!call.device.canRead())
        return failIoctl(ERROR_ACCESS_DENIED);
    GET_LENGTH_INFORMATION info{};
    info.Length.QuadPart = static_cast<LONGLONG>(call.device.target.length);
    return answer(call, info);
}

BOOL updateProperties(IoctlCall& call)
{
    if (call.device.target.partition != 0)
        return failIoctl(ERROR_INVALID_FUNCTION);
    auto& m = *call.device.machine;
    const int slot = call.device.target.slot;
    if (const auto state = m.readWithoutNames(); slot >= 0 && slot < static_cast<int>(state->disks.size()) &&
                                                 state->disks[static_cast<std::size_t>(slot)].host &&
                                                 call.device.canWrite())
        host::rereadHostTable(call.device.fd, state->disks[static_cast<std::size_t>(slot)].backing);
    m.update([&](machine::State& state) { machine::rescanPartitions(m, state, machine::diskBySlot(state, slot)); });
    return TRUE;
}

}  // namespace win::detail
