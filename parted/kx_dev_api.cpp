// The device list: probe, free, walk, USB parent ids, change counts and the
// set-up verdict.
#include <cstdint>

#include "arch/pedwinbase.h"
#include "kx/kx.h"
#include "parted/kx_api_support.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "parted/kx_session.h"

extern "C" {

int kx_dev_probe(void)
{
    KX_REQUIRE_STARTED(0);
    kx::LibraryLock lock;
    const int result = kx::PedWinDeviceProbe();
    if (!result)
        kx::freeCandidates();
    kx_printf("LOG:[%s:%s:%d]: KX device probe\n", KX_WHERE(kx::source::kxPart));
    return result;
}

int kx_dev_destroy(void)
{
    KX_REQUIRE_STARTED(0);
    kx::LibraryLock lock;
    kx::freeCandidates();
    return 1;
}

kx_device* kx_dev_get(kx_device* prev, int flag, int vid)
{
    KX_REQUIRE_STARTED(nullptr);
    kx_device* next = nullptr;
    {
        kx::LibraryLock lock;
        next = kx::nextMatchingDevice(prev, flag, vid);
    }
    kx_printf("LOG:[%s:%s:%d]: Get device: %x, flag: %d, vid:%d\n", KX_WHERE(kx::source::kxPart),
              static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(prev)), flag, vid);
    return next;
}

int kx_dev_get_vid_info(const char* devpath, char* out)
{
    KX_REQUIRE_STARTED(0);
    return kx::usbIdOf(KX_HERE(kx::source::kxPart), devpath, out);
}

int kx_dev_is_change(int* added, int* removed)
{
    KX_REQUIRE_STARTED(0);
    if (!added || !removed) {
        KX_REPORT(kx::source::kxPart, "incnop != NULL && decnop != NULL");
        return 0;
    }
    int result = 0, inc = 0, dec = 0;
    {
        kx::LibraryLock lock;
        result = kx::PedWinDeviceIsChange(added, removed);
        inc = *added;
        dec = *removed;
    }
    kx_printf("LOG:[%s:%s:%d]: Device is change:%d, inc_no: %d, dec_no: %d\n", KX_WHERE(kx::source::kxPart),
              result, inc, dec);
    return result;
}

int kx_dev_is_need_format(const char* devpath)
{
    KX_REQUIRE_STARTED(0);
    if (!devpath) {
        KX_REPORT(kx::source::kxPart, "devpath == NULL");
        return 0;
    }
    kx::LibraryLock lock;
    return kx::PedWinDeviceIsNeedFormat(devpath);
}

}  // extern "C"
