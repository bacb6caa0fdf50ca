// Whether Windows is 64-bit, as IsWow64Process tells a 32-bit process. Its
// absence (before XP) or its failure counts as no.
#include <atomic>

#include "windev/pedwin_windows64.h"
#include "platform/win_api.h"

namespace kx {

namespace {

std::atomic<bool> asked{false};
std::atomic<bool> answer{false};

bool askWindows()
{
    using IsWow64ProcessFn = win::BOOL (*)(win::HANDLE, win::BOOL*);
    win::HMODULE kernel = win::GetModuleHandleA("kernel32");
    win::FARPROC proc = kernel ? win::GetProcAddress(kernel, "IsWow64Process") : nullptr;
    if (!proc)
        return false;
    win::BOOL wow64 = win::FALSE;
    if (!reinterpret_cast<IsWow64ProcessFn>(proc)(win::GetCurrentProcess(), &wow64))
        return false;
    return wow64 != win::FALSE;
}

}  // namespace

bool isWindows64()
{
    if (!asked.load(std::memory_order_acquire)) {
        answer.store(askWindows(), std::memory_order_relaxed);
        asked.store(true, std::memory_order_release);
    }
    return answer.load(std::memory_order_relaxed);
}

void resetWindows64ForTests()
{
    asked.store(false, std::memory_order_release);
}

std::string usbFilterFileName()
{
    return std::string(kUsbFilterName) + (isWindows64() ? "-x64" : "") + ".sys";
}

}  // namespace kx
