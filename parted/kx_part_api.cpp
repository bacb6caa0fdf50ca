// The partition functions: count, walk, delete one or all, create one.
#include <string>

#include "arch/pedwin_disk_internal.h"
#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_api_support.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "parted/kx_session.h"

namespace {

constexpr win::DWORD kReadyPauseMs = 4000;

// Called with the lock held; a stale handle counts none.
int countOf(const kx_disk* disk, int type)
{
    if (!kx::entryOfDisk(disk))
        return 0;
    switch (type) {
    case KX_PART_ALL:
        return disk->primary + disk->logical;
    case KX_PART_PRIMARY:
        return disk->primary;
    case KX_PART_EXTENDED:
        return disk->extended;
    case KX_PART_LOGICAL:
        return disk->logical;
    default:
        return 0;
    }
}

}  // namespace

extern "C" {

int kx_part_num(kx_disk* disk, int type)
{
    KX_REQUIRE_STARTED(0);
    if (!disk) {
        KX_REPORT(kx::source::kxPart, "disk == NULL");
        return 0;
    }
    std::string path;
    // Locked so that a probe on another thread cannot change the counts (or
    // free the path) while they are read.
    const int count = kx::lockedOnDisk(disk, path, [&] { return countOf(disk, type); });
    kx_printf("LOG:[%s:%s:%d]: partition number: %s, partnum = %d\n", KX_WHERE(kx::source::kxPart), path.c_str(),
              count);
    return count;
}

PedWinPart* kx_part_getinfo(kx_disk* disk, PedWinPart* prev, int flag)
{
    KX_REQUIRE_STARTED(nullptr);
    if (!disk) {
        KX_REPORT(kx::source::kxPart, "disk == NULL");
        return nullptr;
    }
    std::string path;
    PedWinPart* found = kx::lockedOnDisk(disk, path, [&] { return kx::PedWinPartInfo(disk, prev, flag); });
    kx_printf("LOG:[%s:%s:%d]: Get partition info: %s, flag: %d, ret = %d\n", KX_WHERE(kx::source::kxPart),
              path.c_str(), flag, kx::handleNumber(found));
    return found;
}

int kx_part_delete(PedWinPart* part)
{
    KX_REQUIRE_STARTED(0);
    if (!part) {
        KX_REPORT(kx::source::kxPart, "part == NULL");
        return 0;
    }
    enum { NoDevice, Failed, Deleted } outcome = NoDevice;
    std::string path;
    {
        kx::LibraryLock lock;
        // Only a partition some entry's table holds is read, so a handle
        // from before a table change is refused rather than followed.
        kx::PedWinDev* entry = nullptr;
        const bool known = kx::findPartition(part, &entry) != nullptr;
        path = kx::logText(known ? part->path : nullptr);
        if (known && entry->dev.path) {
            const std::string devpath = entry->dev.path;
            outcome = Failed;
            if (kx::PedWinPartDelete(part)) {
                outcome = Deleted;
                kx::PedWinDeviceDiskProbe(devpath.c_str());
                kx::waitForPartitions(devpath, kReadyPauseMs);
            }
        }
    }
    switch (outcome) {
    case NoDevice:
        kx_printf("ERR:[%s:%s:%d]: Fail to get the device: %s\n", KX_WHERE(kx::source::kxPart), path.c_str());
        return 0;
    case Failed:
        kx_printf("ERR:[%s:%s:%d]: Fail to delete partition: %s\n", KX_WHERE(kx::source::kxPart), path.c_str());
        return 0;
    default:
        kx_printf("OK:[%s:%s:%d]: Success to delete partition: %s\n", KX_WHERE(kx::source::kxPart), path.c_str());
        return 1;
    }
}

int kx_part_delete_all(kx_disk* disk)
{
    KX_REQUIRE_STARTED(0);
    if (!disk) {
        KX_REPORT(kx::source::kxPart, "disk == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    return kx::PedWinPartDeleteAll(disk);
}

int kx_part_create(kx_disk* disk, int pflag, int fflag, uint64_t size)
{
    KX_REQUIRE_STARTED(0);
    if (!disk) {
        KX_REPORT(kx::source::kxPart, "disk == NULL");
        return 0;
    }
    std::string path;
    const int created = kx::lockedOnDisk(disk, path, [&] {
        const std::string devpath = kx::devicePathOf(disk);
        const int made = kx::PedWinPartCreate(disk, pflag, fflag, size, 1);
        if (made) {
            kx::PedWinDeviceDiskProbe(devpath.c_str());
            kx::waitForPartitions(devpath, kReadyPauseMs);
        }
        return made;
    });
    const auto bytes = static_cast<unsigned long long>(size);
    if (!created) {
        kx_printf("ERR:[%s:%s:%d]: Fail to create partition: %s, pflag: %d, fflag: %d, size=%llx\n",
                  KX_WHERE(kx::source::kxPart), path.c_str(), pflag, fflag, bytes);
        return 0;
    }
    kx_printf("OK:[%s:%s:%d]: Success to create partition: %s, pflag: %d, fflag: %d, size=%llx\n",
              KX_WHERE(kx::source::kxPart), path.c_str(), pflag, fflag, bytes);
    return 1;
}

}  // extern "C"
