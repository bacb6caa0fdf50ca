#include "windev/pedwin_driver_files.h"

#include "windev/pedwin_windows64.h"
#include "platform/win_api.h"

namespace kx {

bool regularFileExists(const std::string& path)
{
    const win::DWORD attributes = win::GetFileAttributesA(path.c_str());
    return attributes != win::INVALID_FILE_ATTRIBUTES && !(attributes & win::FILE_ATTRIBUTE_DIRECTORY);
}

std::string driverSource(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() != '\\' ? folder + '\\' + name : folder + name;
}

std::string driverTarget(const std::string& name)
{
    char windows[win::MAX_PATH] = {};
    win::GetWindowsDirectoryA(windows, sizeof windows);
    return std::string(windows) + (isWindows64() ? "\\SysWOW64\\DRIVERS\\" : "\\system32\\DRIVERS\\") + name;
}

}  // namespace kx
