// Start-up and shut-down of the library.
#include "kx/kx.h"
#include "parted/kx_layers.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "common/kx_os.h"
#include "parted/kx_session.h"

extern "C" {

int kx_soft_init(void)
{
    kx::osCode();
    // Start-up goes on without the lock if Windows will not give one.
    kx::createLibraryLock();
    if (!kx::initDeviceModules()) {
        kx_printf("ERR:[%s:%s:%d]: Fail initialize device modules\n", KX_WHERE(kx::source::kxPart));
        return 0;
    }
    if (!kx::startRandomPool()) {
        kx_printf("ERR:[%s:%s:%d]: Fail initialize device modules\n", KX_WHERE(kx::source::kxPart));
        return 0;
    }
    kx::markLibraryStarted();
    kx_printf("OK:[%s:%s:%d]: Success to initialize kx software\n", KX_WHERE(kx::source::kxPart));
    return 1;
}

void kx_soft_exit(void)
{
    // Outside a started library there is nothing of ours to release.
    if (!kx::markLibraryStopped())
        return;
    kx::stopRandomPool();
    kx::releaseCryptoDriver();
    kx::closeLibraryLock();
}

}  // extern "C"
