// The device list of one disk, by its USB device's serial number.
#include <cstring>
#include <string>

#include "arch/pedwin_probe_one.h"
#include "arch/pedwinbase.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
#include "kx/kx_probe_one.h"
#include "parted/kx_api_support.h"
#include "parted/kx_session.h"

extern "C" {

int kx_dev_probe_usb(const char* usb_id)
{
    KX_REQUIRE_STARTED(0);
    const char* last = usb_id ? std::strrchr(usb_id, '\\') : nullptr;
    if (!last || !last[1]) {
        KX_REPORT(kx::source::kxPart, "usb_id with a serial number");
        kx::LibraryLock lock;
        kx::freeCandidates();
        return 0;
    }
    const std::string serial = last + 1;
    kx::LibraryLock lock;
    const int result = kx::PedWinDeviceProbeSerial(serial.c_str());
    if (!result)
        kx::freeCandidates();
    kx_printf("LOG:[%s:%s:%d]: KX device probe of %s\n", KX_WHERE(kx::source::kxPart), usb_id);
    return result;
}

}  // extern "C"
