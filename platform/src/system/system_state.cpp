// System state, from this machine's real figures: memory from sysinfo(),
// thread and process CPU times from getrusage(), the working set from
// /proc/self/statm, the performance counter from the monotonic clock, and
// VirtualLock from mlock(). Creation times are when the platform library was
// loaded (for the process) and zero (for a thread), which this machine does
// not keep in the Windows form.
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win_api.h"
#include "platform/win_system_state.h"

namespace win {

namespace {

// 100 ns intervals between 1601 and 1970.
constexpr ULONGLONG kEpochOffset = 116444736000000000ull;

FILETIME fileTime(ULONGLONG hundredNs)
{
    return FILETIME{static_cast<DWORD>(hundredNs), static_cast<DWORD>(hundredNs >> 32)};
}

FILETIME duration(const timeval& t)
{
    return fileTime(static_cast<ULONGLONG>(t.tv_sec) * 10000000ull + static_cast<ULONGLONG>(t.tv_usec) * 10ull);
}

const ULONGLONG processCreation =
    kEpochOffset + static_cast<ULONGLONG>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                              std::chrono::system_clock::now().time_since_epoch())
                                              .count() /
                                          100);

HANDLE currentThreadPseudoHandle() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2)); }

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

BOOL times(int who, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user, ULONGLONG created)
{
    if (!creation || !exit || !kernel || !user)
        return fail(ERROR_INVALID_PARAMETER);
    rusage usage{};
    if (::getrusage(who, &usage) != 0)
        return fail(ERROR_INVALID_FUNCTION);
    *creation = fileTime(created);
    *exit = fileTime(0);
    *kernel = duration(usage.ru_stime);
    *user = duration(usage.ru_utime);
    return TRUE;
}

}  // namespace

HANDLE GetCurrentThread() { return currentThreadPseudoHandle(); }

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status)
{
    if (!status || status->dwLength != sizeof(MEMORYSTATUSEX))
        return fail(ERROR_INVALID_PARAMETER);
    struct sysinfo info {};
    if (::sysinfo(&info) != 0)
        return fail(ERROR_INVALID_FUNCTION);
    const ULONGLONG unit = info.mem_unit ? info.mem_unit : 1;
    status->ullTotalPhys = info.totalram * unit;
    status->ullAvailPhys = (info.freeram + info.bufferram) * unit;
    status->ullTotalPageFile = (info.totalram + info.totalswap) * unit;
    status->ullAvailPageFile = (info.freeram + info.freeswap) * unit;
    status->dwMemoryLoad =
        status->ullTotalPhys ? static_cast<DWORD>(100 - status->ullAvailPhys * 100 / status->ullTotalPhys) : 0;
    // A 32-bit program's address space.
    status->ullTotalVirtual = 0x7FFE0000ull;
    status->ullAvailVirtual = status->ullTotalVirtual;
    status->ullAvailExtendedVirtual = 0;
    return TRUE;
}

BOOL GetThreadTimes(HANDLE thread, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user)
{
    if (thread != currentThreadPseudoHandle())
        return fail(ERROR_INVALID_HANDLE);
    return times(RUSAGE_THREAD, creation, exit, kernel, user, 0);
}

BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user)
{
    if (process != GetCurrentProcess())
        return fail(ERROR_INVALID_HANDLE);
    return times(RUSAGE_SELF, creation, exit, kernel, user, processCreation);
}

BOOL GetProcessWorkingSetSize(HANDLE process, SIZE_T* minimum, SIZE_T* maximum)
{
    if (process != GetCurrentProcess())
        return fail(ERROR_INVALID_HANDLE);
    if (!minimum || !maximum)
        return fail(ERROR_INVALID_PARAMETER);
    unsigned long sizePages = 0, residentPages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    const bool read = statm && std::fscanf(statm, "%lu %lu", &sizePages, &residentPages) == 2;
    if (statm)
        std::fclose(statm);
    if (!read)
        return fail(ERROR_INVALID_FUNCTION);
    const SIZE_T page = static_cast<SIZE_T>(::sysconf(_SC_PAGESIZE));
    *minimum = residentPages * page;
    *maximum = sizePages * page;
    return TRUE;
}

void GetStartupInfoA(STARTUPINFOA* info)
{
    if (!info)
        return;
    // The program's path stands for the title Windows gives a console.
    static std::string title = [] {
        char path[MAX_PATH] = {};
        const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
        return std::string(path, n > 0 ? static_cast<size_t>(n) : 0);
    }();
    std::memset(info, 0, sizeof *info);
    info->cb = sizeof *info;
    info->lpTitle = title.data();
    info->wShowWindow = 10;  // SW_SHOWDEFAULT
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count)
{
    if (!count)
        return fail(ERROR_INVALID_PARAMETER);
    count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (!frequency)
        return fail(ERROR_INVALID_PARAMETER);
    frequency->QuadPart = 1000000000;
    return TRUE;
}

BOOL VirtualLock(LPVOID address, SIZE_T size)
{
    if (::mlock(address, size) != 0)
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    return TRUE;
}

BOOL VirtualUnlock(LPVOID address, SIZE_T size)
{
    if (::munlock(address, size) != 0)
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    return TRUE;
}

}  // namespace win
