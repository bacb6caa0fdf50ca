// Installing the USB filter driver: its file copied under the Windows
// directory and its service registered.
#include <cstring>
#include <string>

#include "windev/pedwin_driver_files.h"
#include "arch/pedwin_usbfilter.h"
#include "kx/kx.h"
#include "common/kx_message.h"
#include "platform/win_api.h"
#include "parted/kx_session.h"

namespace {

using kx::source::kxPart;

// The file in place under the Windows directory: copied over from the
// folder when it is there, else one installed before.
bool setUpSystemFile(const kx::Where& at, const char* folder)
{
    const std::string source = kx::driverSource(folder, kx::usbFilterFileName());
    const std::string target = kx::driverTarget(kx::usbFilterFileName());
    if (kx::regularFileExists(target) || kx::regularFileExists(source)) {
        win::CopyFileA(source.c_str(), target.c_str(), win::FALSE);
        // A service whose file could not be put in place would fail at boot.
        if (kx::regularFileExists(target))
            return true;
    }
    kx_printf("ERR:[%s:%s:%d]: Fail to setup system file: %s\\%s\n", at.module, at.function, at.line, folder,
              kx::kUsbFilterName);
    return false;
}

}  // namespace

extern "C" {

int kx_load_usb_driver(const char* path)
{
    KX_REQUIRE_STARTED(0);
    if (!path) {
        KX_REPORT(kxPart, "path == NULL");
        return 0;
    }
    if (!setUpSystemFile(KX_HERE(kxPart), path))
        return 0;
    if (kx::UsbDriverLoad() == 1) {
        kx_printf("OK:[%s:%s:%d]: USB Driver Load\n", KX_WHERE(kxPart));
        return 1;
    }
    kx_printf("ERR:[%s:%s:%d]: Fail to load USB Driver\n", KX_WHERE(kxPart));
    return 0;
}

int kx_unload_usb_driver(void)
{
    return 1;
}

}  // extern "C"
