// IOCTL_DISK_PERFORMANCE: the counters of the host disk that holds the
// emulated disk's backing (from /proc/diskstats), or of all host disks when
// that one is not listed (an overlay or memory file system).
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

#include "devices/ioctl_handlers.h"
#include "platform/win_api.h"
#include "platform/win_system_state.h"

namespace win::detail {

namespace {

struct HostDiskStats {
    ULONGLONG reads = 0, sectorsRead = 0, msReading = 0;
    ULONGLONG writes = 0, sectorsWritten = 0, msWriting = 0;
    ULONGLONG inFlight = 0, msBusy = 0, merged = 0;
};

HostDiskStats hostDiskStats(dev_t device)
{
    HostDiskStats matched, all;
    bool found = false;
    std::FILE* stats = std::fopen("/proc/diskstats", "r");
    if (!stats)
        return all;
    char line[512];
    while (std::fgets(line, sizeof line, stats)) {
        unsigned major = 0, minor = 0;
        unsigned long long v[11] = {};
        if (std::sscanf(line, "%u %u %*s %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &major, &minor,
                        &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10]) != 13)
            continue;
        const HostDiskStats one{v[0], v[2], v[3], v[4], v[6], v[7], v[8], v[9], v[1] + v[5]};
        if (major == ::major(device) && minor == ::minor(device)) {
            matched = one;
            found = true;
        }
        all.reads += one.reads, all.sectorsRead += one.sectorsRead, all.msReading += one.msReading;
        all.writes += one.writes, all.sectorsWritten += one.sectorsWritten, all.msWriting += one.msWriting;
        all.inFlight += one.inFlight, all.msBusy += one.msBusy, all.merged += one.merged;
    }
    std::fclose(stats);
    return found ? matched : all;
}

LARGE_INTEGER large(ULONGLONG value)
{
    LARGE_INTEGER l;
    l.QuadPart = static_cast<LONGLONG>(value);
    return l;
}

}  // namespace

BOOL diskPerformance(IoctlCall& call)
{
    if (!call.out || call.outSize < sizeof(DISK_PERFORMANCE))
        return failIoctl(ERROR_INSUFFICIENT_BUFFER);
    struct stat backing {};
    const auto path = call.device.machine->backingPath(call.disk);
    dev_t device = 0;
    if (::stat(path.c_str(), &backing) == 0)
        device = S_ISBLK(backing.st_mode) ? backing.st_rdev : backing.st_dev;
    const HostDiskStats s = hostDiskStats(device);
    DISK_PERFORMANCE record{};
    record.BytesRead = large(s.sectorsRead * 512);
    record.BytesWritten = large(s.sectorsWritten * 512);
    record.ReadTime = large(s.msReading * 10000);
    record.WriteTime = large(s.msWriting * 10000);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const ULONGLONG busy = s.msBusy * 10000;
    const ULONGLONG elapsed = static_cast<ULONGLONG>(now.QuadPart) / 100;
    record.IdleTime = large(elapsed > busy ? elapsed - busy : 0);
    record.ReadCount = static_cast<DWORD>(s.reads);
    record.WriteCount = static_cast<DWORD>(s.writes);
    record.QueueDepth = static_cast<DWORD>(s.inFlight);
    record.SplitCount = static_cast<DWORD>(s.merged);
    record.QueryTime = now;
    record.StorageDeviceNumber = static_cast<DWORD>(call.disk.number);
    std::memcpy(record.StorageManagerName, u"PhysDisk", sizeof record.StorageManagerName);
    std::memcpy(call.out, &record, sizeof record);
    *call.returned = sizeof record;
    return TRUE;
}

}  // namespace win::detail
