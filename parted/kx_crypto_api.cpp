// The encryption driver and private partitions through the API: install
// and release the driver, load and unload a private partition, check and
// change its password. Passwords never reach a log line.
#include <string>

#include "windev/pedwin_crypt_driver.h"
#include "arch/pedwin_disk_internal.h"
#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_api_support.h"
#include "parted/kx_layers.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "parted/kx_session.h"

namespace {

using kx::source::kxPart;

// The path of a partition some table holds, for a log line.
std::string partPath(const PedWinPart* part)
{
    return kx::logText(kx::findPartition(part) ? part->path : nullptr);
}

}  // namespace

namespace kx {

void releaseCryptoDriver()
{
    releaseCryptDriver();
}

}  // namespace kx

extern "C" {

int kx_load_crypto_driver(const char* path)
{
    KX_REQUIRE_STARTED(0);
    if (!path) {
        KX_REPORT(kxPart, "path == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    if (kx::setUpCryptFile(KX_HERE(kxPart), path) && kx::attachCryptDriver() == kx::kCryptAttached)
        return 1;
    kx_printf("ERR:[%s:%s:%d]: Fail to install the crypt driver\n", KX_WHERE(kxPart));
    return 0;
}

int kx_unload_crypto_driver(void)
{
    KX_REQUIRE_STARTED(0);
    kx::LibraryLock lock;
    kx::releaseCryptDriver();
    return 1;
}

int kx_part_load(PedWinPart* part, const char* password, const char* mountpoint)
{
    KX_REQUIRE_STARTED(1);
    if (!part) {
        KX_REPORT(kxPart, "part == NULL");
        // Not 0, which reads as loaded.
        return 1;
    }
    kx::LibraryLock lock;
    const std::string path = partPath(part);
    const int result = kx::PedWinPartLoad(part, password, mountpoint);
    if (result == 0) {
        kx_printf("OK:[%s:%s:%d]: Success load private partition: %s, mountpoint: %s\n", KX_WHERE(kxPart),
                  path.c_str(), kx::logText(mountpoint).c_str());
        // The new drive changes what Windows shows; the caller fetches its
        // handles again.
        if (!kx::PedWinDeviceProbe())
            kx::freeCandidates();
    }
    return result;
}

int kx_part_unload(PedWinPart* part)
{
    KX_REQUIRE_STARTED(1);
    if (!part) {
        KX_REPORT(kxPart, "part == NULL");
        // Not 0, which reads as unloaded.
        return 1;
    }
    std::string path;
    int result = 1;
    {
        kx::LibraryLock lock;
        path = partPath(part);
        result = kx::PedWinPartUnload(part);
    }
    kx_printf("LOG:[%s:%s:%d]: Unload partition: %s\n", KX_WHERE(kxPart), path.c_str());
    return result;
}

int kx_part_chk_pwd(PedWinPart* part, const char* pwd)
{
    KX_REQUIRE_STARTED(0);
    if (!part) {
        KX_REPORT(kxPart, "part == NULL");
        return 0;
    }
    if (!pwd) {
        KX_REPORT(kxPart, "pwd == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    return kx::PedWinPartChkPwd(part, pwd);
}

int kx_part_modify_pwd(PedWinPart* part, const char* oldpwd, const char* newpwd)
{
    KX_REQUIRE_STARTED(0);
    if (!part) {
        KX_REPORT(kxPart, "part == NULL");
        return 0;
    }
    if (!oldpwd) {
        KX_REPORT(kxPart, "oldpwd == NULL");
        return 0;
    }
    if (!newpwd) {
        KX_REPORT(kxPart, "newpwd == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    return kx::PedWinPartModifyPwd(part, oldpwd, newpwd);
}

}  // extern "C"
