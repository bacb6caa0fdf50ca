// The user's rights as the private-volume operations ask them.
#include "windev/pedwin_crypt_driver.h"
#include "common/kx_os.h"

namespace kx {

namespace {

constexpr int kVistaOrLater = 13;
constexpr const char* kPolicyKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

}  // namespace

bool userIsAdmin() { return win::IsUserAnAdmin() != win::FALSE; }

bool uacEnabled()
{
    if (osCode() != kVistaOrLater)
        return false;
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kPolicyKey, 0, win::KEY_READ, &key) != win::ERROR_SUCCESS)
        return true;
    win::DWORD value = 1, type = 0, size = sizeof value;
    const bool read = win::RegQueryValueExA(key, "EnableLUA", nullptr, &type, reinterpret_cast<win::BYTE*>(&value),
                                            &size) == win::ERROR_SUCCESS &&
                      type == win::REG_DWORD && size == sizeof value;
    win::RegCloseKey(key);
    return !read || value != 0;
}

}  // namespace kx
