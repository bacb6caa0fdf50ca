// Libraries: the system's fmifs.dll, kernel32.dll and netapi32.dll are built
// in; no other library exists on this machine.
#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <vector>

#include "machine/current_settings.h"
#include "platform/win_api.h"
#include "platform/win_system_state.h"

namespace win {

struct ModuleObject {
    const char* name;
    bool alwaysLoaded;
    int loads;  // LoadLibraryA calls not yet freed
};

namespace {

std::mutex& moduleLock()
{
    static std::mutex lock;
    return lock;
}

ModuleObject gFmifs{"fmifs.dll", false, 0};
ModuleObject gKernel32{"kernel32.dll", true, 0};
ModuleObject gNetapi32{"netapi32.dll", false, 0};

bool known(const ModuleObject* m) { return m == &gFmifs || m == &gKernel32 || m == &gNetapi32; }

// "C:\Windows\system32\FMIFS" names fmifs.dll.
std::string moduleFileName(LPCSTR name)
{
    std::string file(name);
    if (const auto slash = file.find_last_of("\\/"); slash != std::string::npos)
        file.erase(0, slash + 1);
    std::transform(file.begin(), file.end(), file.begin(), [](unsigned char c) { return std::tolower(c); });
    if (!file.empty() && file.back() == '.')
        file.pop_back();  // a trailing dot means "no extension"
    else if (file.find('.') == std::string::npos)
        file += ".dll";
    return file;
}

ModuleObject* moduleNamed(LPCSTR name)
{
    if (!name)
        return nullptr;
    const std::string file = moduleFileName(name);
    for (ModuleObject* m : {&gFmifs, &gKernel32, &gNetapi32})
        if (file == m->name)
            return m;
    return nullptr;
}

bool loaded(const ModuleObject& m) { return m.alwaysLoaded || m.loads > 0; }

FARPROC exportOf(const ModuleObject* m, const std::string& name)
{
    if (m == &gFmifs && name == "FormatEx")
        return reinterpret_cast<FARPROC>(&FormatEx);
    if (m == &gNetapi32 && name == "NetStatisticsGet")
        return reinterpret_cast<FARPROC>(&NetStatisticsGet);
    if (m == &gNetapi32 && name == "NetApiBufferSize")
        return reinterpret_cast<FARPROC>(&NetApiBufferSize);
    if (m == &gNetapi32 && name == "NetApiBufferFree")
        return reinterpret_cast<FARPROC>(&NetApiBufferFree);
    // Windows before XP lacks IsWow64Process; callers take its absence as no.
    const auto os = detail::currentSettings().os;
    if (m == &gKernel32 && name == "IsWow64Process" && (os.major > 5 || (os.major == 5 && os.minor >= 1)))
        return reinterpret_cast<FARPROC>(&IsWow64Process);
    return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name)
{
    ModuleObject* m = moduleNamed(name);
    const bool absent = m == &gFmifs && detail::currentSettings().formatService == machine::FormatService::Absent;
    if (!m || absent) {
        SetLastError(name ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::lock_guard guard(moduleLock());
    ++m->loads;
    return m;
}

HMODULE GetModuleHandleA(LPCSTR name)
{
    ModuleObject* m = moduleNamed(name);
    std::lock_guard guard(moduleLock());
    if (!m || !loaded(*m)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return m;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (!known(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A value below 0x10000 is an ordinal, and no export is known by one.
    FARPROC proc = reinterpret_cast<std::uintptr_t>(name) < 0x10000 ? nullptr : exportOf(module, name);
    if (!proc)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return proc;
}

BOOL FreeLibrary(HMODULE module)
{
    std::lock_guard guard(moduleLock());
    if (!known(module) || module->loads == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --module->loads;
    return TRUE;
}

}  // namespace win
