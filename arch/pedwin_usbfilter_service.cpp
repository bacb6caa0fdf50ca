// The kxusbflt service: a boot-start kernel driver. The library registers
// it; it never starts or deletes it.
#include "arch/pedwin_usbfilter.h"

namespace kx {

namespace {

using source::pedWinBase;

class ServiceHandle {
public:
    explicit ServiceHandle(win::SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle()
    {
        if (handle_)
            win::CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    win::SC_HANDLE get() const { return handle_; }

private:
    win::SC_HANDLE handle_;
};

}  // namespace

int UsbDriverLoad()
{
    ServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS));
    if (!manager.get()) {
        kx_printf("ERR:[%s:%s:%d] USB Fail to OpenSCManager()\n", KX_WHERE(pedWinBase));
        return 0;
    }
    const std::string imagePath =
        (isWindows64() ? "SysWOW64\\DRIVERS\\" : "system32\\DRIVERS\\") + usbFilterFileName();
    ServiceHandle service(win::CreateServiceA(manager.get(), kUsbFilterName, kUsbFilterName, win::SERVICE_ALL_ACCESS,
                                              win::SERVICE_KERNEL_DRIVER, win::SERVICE_BOOT_START,
                                              win::SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr, nullptr,
                                              nullptr, nullptr, nullptr));
    // A service created now is as present as one created before.
    if (service.get())
        return 1;
    switch (win::GetLastError()) {
    case win::ERROR_SERVICE_EXISTS:
        kx_printf("OK:[%s:%s:%d] USB service exists\n", KX_WHERE(pedWinBase));
        return 1;
    case win::ERROR_SERVICE_MARKED_FOR_DELETE:
        kx_printf("LOG:[%s:%s:%d] USB service marked for delete\n", KX_WHERE(pedWinBase));
        return 0;
    default:
        return 0;
    }
}

}  // namespace kx
