// The one handle to the encryption driver's device.
#include "windev/pedwin_crypt_driver.h"

namespace kx {

namespace {

win::HANDLE gDevice = win::INVALID_HANDLE_VALUE;

}  // namespace

bool cryptAttached()
{
    return gDevice != win::INVALID_HANDLE_VALUE;
}

bool openCryptDevice()
{
    closeCryptDevice();
    gDevice = win::CreateFileA(win::crypt_driver::deviceName, 0, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
    return cryptAttached();
}

void closeCryptDevice()
{
    if (gDevice != win::INVALID_HANDLE_VALUE)
        win::CloseHandle(gDevice);
    gDevice = win::INVALID_HANDLE_VALUE;
}

bool cryptRequest(win::DWORD code, void* in, win::DWORD inSize, void* out, win::DWORD outSize)
{
    if (!cryptAttached())
        return false;
    win::DWORD returned = 0;
    return win::DeviceIoControl(gDevice, code, in, inSize, out, outSize, &returned, nullptr) != win::FALSE;
}

}  // namespace kx
