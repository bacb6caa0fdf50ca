#include "common/kx_os.h"

#include <mutex>

#include "kx/kx.h"
#include "common/kx_message.h"
#include "platform/win_api.h"

namespace {

struct OsFacts {
    bool detected = false;
    win::DWORD major = 0;
    win::DWORD minor = 0;
    int code = 0;
};

std::mutex factsMutex;
OsFacts facts;

// Only NT 5.2 needs the extended record: it tells Server 2003 from XP x64.
bool isServerProduct()
{
    win::OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!win::GetVersionExA(reinterpret_cast<win::OSVERSIONINFOA*>(&info)))
        return false;
    return info.wProductType == win::VER_NT_SERVER || info.wProductType == win::VER_NT_DOMAIN_CONTROLLER;
}

int classify(const win::OSVERSIONINFOA& info)
{
    const win::DWORD major = info.dwMajorVersion;
    const win::DWORD minor = info.dwMinorVersion;
    switch (info.dwPlatformId) {
    case win::VER_PLATFORM_WIN32_NT:
        if (major == 5 && minor == 0)
            return 7;
        if (major == 5 && minor == 1)
            return 8;
        if (major == 5 && minor == 2)
            return isServerProduct() ? 10 : 9;
        if (major >= 6)
            return 13;
        if (major == 4)
            return 6;
        return 0;
    case win::VER_PLATFORM_WIN32_WINDOWS:
        if (major == 4 && minor == 90)
            return 4;
        if (major == 4 && minor == 10)
            return 3;
        if (major == 4 && minor == 0)
            return 2;
        return 0;
    case win::VER_PLATFORM_WIN32s:
        return 1;
    default:
        return 0;
    }
}

void detect()
{
    win::OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    // A failed query still classifies the zeroed record.
    if (!win::GetVersionExA(&info))
        kx_printf("Fail to get OS version");
    facts.major = info.dwMajorVersion;
    facts.minor = info.dwMinorVersion;
    facts.code = classify(info);
    facts.detected = true;
}

}  // namespace

namespace kx {

int osCode()
{
    std::lock_guard<std::mutex> guard(factsMutex);
    if (!facts.detected)
        detect();
    return facts.code;
}

int osMajorVersion()
{
    std::lock_guard<std::mutex> guard(factsMutex);
    if (!facts.detected)
        detect();
    return static_cast<int>(facts.major);
}

void resetOsForTests()
{
    std::lock_guard<std::mutex> guard(factsMutex);
    facts = OsFacts{};
}

}  // namespace kx

extern "C" int kx_os_version(void)
{
    const int code = kx::osCode();
    kx_printf("OK:[%s:%s:%d]: OS version: %d\n", KX_WHERE(kx::source::kxPart), code);
    return code;
}
