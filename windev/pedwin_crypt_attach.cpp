// Putting the driver file in place and attaching to the running driver,
// replacing a driver of another version unless TrueCrypt owns it.
#include "windev/pedwin_crypt_driver.h"
#include "windev/pedwin_driver_files.h"
#include "windev/pedwin_windows64.h"

namespace kx {

namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TrueCrypt";
constexpr int kAppDataFolder = 0x1A;  // CSIDL_APPDATA

bool driverVersion(std::uint32_t* version)
{
    *version = 0;
    return cryptRequest(win::crypt_driver::IOCTL_GET_DRIVER_VERSION, nullptr, 0, version, sizeof *version);
}

bool registryKeyOpens(const char* subKey)
{
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, subKey, 0, win::KEY_READ, &key) != win::ERROR_SUCCESS)
        return false;
    win::RegCloseKey(key);
    return true;
}

// Without a driver to ask, TrueCrypt shows by its system encryption file.
bool trueCryptFilesPresent()
{
    const win::HANDLE device =
        win::CreateFileA(win::crypt_driver::deviceName, 0, 0, nullptr, win::OPEN_EXISTING, 0, nullptr);
    if (device != win::INVALID_HANDLE_VALUE) {
        win::CloseHandle(device);
        return false;
    }
    char appData[win::MAX_PATH] = {};
    if (!win::SHGetSpecialFolderPathA(nullptr, appData, kAppDataFolder, win::FALSE))
        return false;
    return regularFileExists(std::string(appData) + "\\TrueCrypt\\System Encryption.xml") && (userIsAdmin() || !uacEnabled());
}

}  // namespace

std::string cryptFileName()
{
    return std::string(kCryptName) + (isWindows64() ? "-x64" : "") + ".sys";
}

bool setUpCryptFile(const Where& at, const char* folder)
{
    const std::string source = driverSource(folder, cryptFileName());
    const std::string target = driverTarget(cryptFileName());
    if (!regularFileExists(target) && !regularFileExists(source)) {
        kx_printf("ERR:[%s:%s:%d]: Fail to setup system file: %s\\%s\n", at.module, at.function, at.line, folder,
                  kCryptName);
        return false;
    }
    // A failed copy leaves the file installed before, which still serves.
    win::CopyFileA(source.c_str(), target.c_str(), win::FALSE);
    return true;
}

bool trueCryptInstalled()
{
    if (cryptAttached())
        return registryKeyOpens(kUninstallKey);
    return trueCryptFilesPresent();
}

int attachCryptDriver()
{
    if (!openCryptDevice() && !(loadCryptService() && openCryptDevice()))
        return kCryptFailed;
    // One replacement at most: a driver that comes back in another version
    // again would otherwise be reloaded for ever.
    for (bool replaced = false;; replaced = true) {
        std::uint32_t version = 0;
        if (!driverVersion(&version)) {
            closeCryptDevice();
            return kCryptFailed;
        }
        if (version == win::crypt_driver::interfaceVersion)
            return kCryptAttached;
        if (replaced || trueCryptInstalled() || !unloadCryptDriver()) {
            closeCryptDevice();
            return replaced ? kCryptFailed : kCryptForeign;
        }
        if (!loadCryptService() || !openCryptDevice())
            return kCryptFailed;
    }
}

void releaseCryptDriver()
{
    if (cryptAttached() && !trueCryptInstalled()) {
        std::uint32_t busy = 1;
        if (cryptRequest(win::crypt_driver::IOCTL_IS_ANY_VOLUME_MOUNTED, nullptr, 0, &busy, sizeof busy) &&
            busy == 0) {
            unloadCryptDriver();
        }
    }
    closeCryptDevice();
}

}  // namespace kx
