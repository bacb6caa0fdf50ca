// The appliance's standard table: the system partition, then up to three
// public NTFS partitions, written at once and waited for.
#include <string>

#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_api_support.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "platform/win_api.h"
#include "parted/kx_session.h"

namespace {

constexpr win::DWORD kSettleMs = 1000;
constexpr win::DWORD kReadyPauseMs = 3000;

// Builds the table in memory and commits it; false at the first failure.
// The settling pauses keep the lock.
bool buildTable(kx_disk* disk, int publicnum, const uint64_t (&sizes)[3], uint64_t v4)
{
    if (!kx::PedWinPartCreate(disk, KX_PART_PRIMARY, KX_FS_SYSTEM, v4, 0))
        return false;
    win::Sleep(kSettleMs);
    for (int i = 0; i < publicnum; ++i) {
        if (!kx::PedWinPartCreate(disk, KX_PART_PRIMARY, KX_FS_NTFS, sizes[i], 0))
            return false;
        win::Sleep(kSettleMs);
    }
    kx::PedWinDev* entry = kx::entryOfDisk(disk);
    if (!entry || !entry->peddev || !entry->peddev->disk) {
        KX_REPORT(kx::source::kxPart, "windev->peddev == NULL || windev->peddev->disk == NULL");
        return false;
    }
    // A table that did not reach the disk can never become ready.
    const bool written = kx::commitTable(entry->peddev->disk) == 1;
    win::Sleep(kSettleMs);
    return written;
}

}  // namespace

extern "C" {

int kx_part_create_pnum(kx_disk* disk, int publicnum, uint64_t p1, uint64_t p2, uint64_t p3, uint64_t v4)
{
    KX_REQUIRE_STARTED(0);
    if (!disk) {
        KX_REPORT(kx::source::kxPart, "disk == NULL");
        return 0;
    }
    if (publicnum < 0 || publicnum > 3) {
        KX_REPORT(kx::source::kxPart, "publicnum > 0 && publicnum < 4");
        return 0;
    }
    const uint64_t sizes[3] = {p1, p2, p3};
    int ready = 0;
    {
        kx::LibraryLock lock;
        const std::string devpath = kx::devicePathOf(disk);
        if (!buildTable(disk, publicnum, sizes, v4))
            return 0;
        kx::PedWinDeviceDiskProbe(devpath.c_str());
        kx::waitForPartitions(devpath, kReadyPauseMs);
        ready = kx::PedWinPartCheckReady(kx::PedWinDeviceDiskGet(devpath.c_str()));
    }
    kx_printf("LOG:[%s:%s:%d]: Create %d partitions: p1=%llx, p2=%llx, p3=%llx, v4=%llx\n",
              KX_WHERE(kx::source::kxPart), publicnum, static_cast<unsigned long long>(p1),
              static_cast<unsigned long long>(p2), static_cast<unsigned long long>(p3),
              static_cast<unsigned long long>(v4));
    return ready;
}

}  // extern "C"
