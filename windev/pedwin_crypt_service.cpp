// The kxcrypt service: loaded as a demand-start kernel driver whose entry
// is deleted at once (it runs until stopped or the next reboot), and
// stopped again when nothing uses it.
#include "windev/pedwin_crypt_driver.h"
#include "windev/pedwin_service_handle.h"
#include "windev/pedwin_windows64.h"

namespace kx {

namespace {

constexpr win::DWORD kDeletedServiceWaitMs = 500;
constexpr int kStopPolls = 5;
constexpr win::DWORD kStopPollMs = 200;

std::string imagePath()
{
    return (isWindows64() ? "SysWOW64\\DRIVERS\\" : "system32\\DRIVERS\\") + cryptFileName();
}

// Open handles on the driver's device, ours included; -1 when it will not say.
std::int32_t driverHandles()
{
    std::int32_t handles = 0;
    if (!cryptRequest(win::crypt_driver::IOCTL_GET_DEVICE_REFCOUNT, &handles, sizeof handles, &handles,
                      sizeof handles))
        return -1;
    return handles;
}

bool stopService()
{
    ServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS));
    ServiceHandle service(manager.get() ? win::OpenServiceA(manager.get(), kCryptName, win::SERVICE_ALL_ACCESS)
                                        : nullptr);
    if (!service.get())
        return false;
    win::SERVICE_STATUS status{};
    win::ControlService(service.get(), win::SERVICE_CONTROL_STOP, &status);
    for (int poll = 0; poll < kStopPolls; ++poll) {
        if (win::QueryServiceStatus(service.get(), &status) && status.dwCurrentState == win::SERVICE_STOPPED)
            return true;
        win::Sleep(kStopPollMs);
    }
    return false;
}

}  // namespace

bool loadCryptService()
{
    ServiceHandle manager(win::OpenSCManagerA(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS));
    if (!manager.get())
        return false;
    // An entry left by an earlier load would keep the old image path.
    ServiceHandle old(win::OpenServiceA(manager.get(), kCryptName, win::SERVICE_ALL_ACCESS));
    if (old.get()) {
        win::DeleteService(old.get());
        old.reset();
        win::Sleep(kDeletedServiceWaitMs);
    }
    const std::string image = imagePath();
    ServiceHandle service(win::CreateServiceA(manager.get(), kCryptName, kCryptName, win::SERVICE_ALL_ACCESS,
                                              win::SERVICE_KERNEL_DRIVER, win::SERVICE_DEMAND_START,
                                              win::SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, nullptr,
                                              nullptr, nullptr));
    if (!service.get())
        return false;
    const bool started = win::StartServiceA(service.get(), 0, nullptr) != win::FALSE;
    win::DeleteService(service.get());
    return started;
}

bool unloadCryptDriver()
{
    win::crypt_driver::MountList list{};
    // A driver that cannot list its volumes is not ours to stop.
    if (!cryptRequest(win::crypt_driver::IOCTL_GET_MOUNTED_VOLUMES, &list, sizeof list, &list, sizeof list))
        return true;
    if (list.mountedDrives != 0 || driverHandles() >= 2)
        return false;
    closeCryptDevice();
    return stopService();
}

}  // namespace kx
