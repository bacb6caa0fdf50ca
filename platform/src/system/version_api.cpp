// What the process learns about the system it runs on, from the machine's
// settings.
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "machine/current_settings.h"
#include "platform/win_api.h"
#include "processes/processes.h"

namespace win {

namespace {

// "Service Pack 3" -> 3; anything else has none.
WORD servicePackOf(const std::string& csd)
{
    unsigned pack = 0;
    return std::sscanf(csd.c_str(), "Service Pack %u", &pack) == 1 ? static_cast<WORD>(pack) : 0;
}

}  // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info)
{
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const auto os = detail::currentSettings().os;
    if (os.fails) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwPlatformId = os.platform;
    // Windows 9x keeps the version in the high word of the build number.
    info->dwBuildNumber = os.platform == VER_PLATFORM_WIN32_WINDOWS
                              ? (os.major << 24) | (os.minor << 16) | (os.build & 0xFFFF)
                              : os.build;
    std::snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", os.csd.c_str());
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXA*>(info);
        ex->wServicePackMajor = servicePackOf(os.csd);
        ex->wProductType = os.productType;
    }
    return TRUE;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(::gettid()); }

BOOL IsWow64Process(HANDLE process, BOOL* wow64)
{
    if (!wow64) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Every process of the machine runs under the same system.
    if (process != GetCurrentProcess() && !detail::isProcessHandle(process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *wow64 = detail::currentSettings().wow64 ? TRUE : FALSE;
    return TRUE;
}

BOOL IsUserAnAdmin() { return detail::currentSettings().admin ? TRUE : FALSE; }

}  // namespace win
