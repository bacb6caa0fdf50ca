// The disk functions: table probe and readiness, lookup and release, free
// space and the user information block.
#include <string>

#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_api_support.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "parted/kx_session.h"

namespace {

// Both user-information calls check their arguments the same way, before any lock.
bool userArgumentsGiven(const kx::Where& at, const kx_disk* disk, const kx_user_info* user)
{
    if (!disk) {
        kx::report(at, "disk == NULL");
        return false;
    }
    if (!user) {
        kx::report(at, "user == NULL");
        return false;
    }
    return true;
}

constexpr win::DWORD kReadyPauseMs = 4000;

}  // namespace

extern "C" {

int kx_disk_probe(const char* devpath)
{
    KX_REQUIRE_STARTED(0);
    if (!devpath) {
        KX_REPORT(kx::source::kxPart, "devpath == NULL");
        return 0;
    }
    const std::string path = devpath;
    int ready = 0;
    {
        kx::LibraryLock lock;
        kx::PedWinDeviceDiskProbe(path.c_str());
        ready = kx::waitForPartitions(path, kReadyPauseMs) ||
                kx::PedWinPartCheckReady(kx::PedWinDeviceDiskGet(path.c_str()));
    }
    kx_printf("LOG:[%s:%s:%d]: Disk is probe:%s\n", KX_WHERE(kx::source::kxPart), path.c_str());
    return ready;
}

int kx_disk_destroy(const char* devpath)
{
    KX_REQUIRE_STARTED(0);
    if (!devpath) {
        KX_REPORT(kx::source::kxPart, "devpath == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    kx::PedWinDeviceDiskDestroy(devpath);
    return 1;
}

kx_disk* kx_disk_get(const char* devpath)
{
    KX_REQUIRE_STARTED(nullptr);
    if (!devpath) {
        KX_REPORT(kx::source::kxPart, "devpath == NULL");
        return nullptr;
    }
    kx_disk* disk = nullptr;
    {
        kx::LibraryLock lock;
        disk = kx::PedWinDeviceDiskGet(devpath);
    }
    kx_printf("LOG:[%s:%s:%d]: Disk get:%s, ret: %d\n", KX_WHERE(kx::source::kxPart), devpath,
              kx::handleNumber(disk));
    return disk;
}

int kx_disk_ready(kx_disk* disk)
{
    KX_REQUIRE_STARTED(0);
    if (!disk) {
        KX_REPORT(kx::source::kxPart, "disk == NULL");
        return 0;
    }
    std::string path;
    const int ready = kx::lockedOnDisk(disk, path, [&] {
        const std::string devpath = kx::devicePathOf(disk);
        // A handle of a disk that is gone cannot become ready.
        return !devpath.empty() && (kx::waitForPartitions(devpath, kReadyPauseMs) ||
                                    kx::PedWinPartCheckReady(kx::PedWinDeviceDiskGet(devpath.c_str())));
    });
    kx_printf("LOG:[%s:%s:%d]: %s,Disk ready: %d\n", KX_WHERE(kx::source::kxPart), path.c_str(), ready);
    return ready;
}

uint64_t kx_disk_freespace(kx_disk* disk, int type)
{
    KX_REQUIRE_STARTED(0);
    if (!disk) {
        KX_REPORT(kx::source::kxPart, "disk == NULL");
        return 0;
    }
    std::string path;
    const std::uint64_t free = kx::lockedOnDisk(disk, path, [&] { return kx::PedWinDeviceDiskFreespace(disk, type); });
    kx_printf("LOG:[%s:%s:%d]: Disk freespace: %s, %llx\n", KX_WHERE(kx::source::kxPart), path.c_str(),
              static_cast<unsigned long long>(free));
    return free;
}

int kx_disk_get_userinfo(kx_disk* disk, kx_user_info* user)
{
    KX_REQUIRE_STARTED(0);
    if (!userArgumentsGiven(KX_HERE(kx::source::kxPart), disk, user))
        return 0;
    std::string path;
    const int result = kx::lockedOnDisk(disk, path, [&] { return kx::PedWinDeviceGetUserInfo(disk, user); });
    kx_printf("LOG:[%s:%s:%d]: Get user information: %s, ret = %d\n", KX_WHERE(kx::source::kxPart), path.c_str(),
              result);
    return result;
}

int kx_disk_set_userinfo(kx_disk* disk, const kx_user_info* user)
{
    KX_REQUIRE_STARTED(0);
    if (!userArgumentsGiven(KX_HERE(kx::source::kxPart), disk, user))
        return 0;
    std::string path;
    const int result = kx::lockedOnDisk(disk, path, [&] { return kx::PedWinDeviceSetUserInfo(disk, user); });
    kx_printf("LOG:[%s:%s:%d]: Set user information: %s, ret = %d\n", KX_WHERE(kx::source::kxPart), path.c_str(),
              result);
    return result;
}

}  // extern "C"
