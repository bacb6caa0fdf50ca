// The emulated machine has no windows, clipboard, desktop, caret or message
// queue, so the fast poll takes what it does have: handles and ids, the
// cursor and input time the hooks saw, memory, CPU times, working set,
// start-up information and the performance counter.
#include "common/kx_random_poll.h"

#include <cctype>
#include <cstdio>

#include "platform/win_api.h"
#include "platform/win_hooks.h"
#include "platform/win_system_state.h"

namespace kx {

namespace {

template <typename T>
void add(RandomPool& pool, const T& value)
{
    pool.addBuffer(&value, sizeof value);
}

// CryptoAPI's share: false when it is there and fails.
bool addCryptoBytes(RandomPool& pool, win::HCRYPTPROV provider)
{
    if (!provider)
        return true;
    std::uint8_t buffer[kRandomPoolSize];
    const bool ok = win::CryptGenRandom(provider, sizeof buffer, buffer);
    if (ok)
        pool.addBuffer(buffer, sizeof buffer);
    secureWipe(buffer, sizeof buffer);
    return ok;
}

void addTimes(RandomPool& pool, bool ok, const win::FILETIME (&times)[4])
{
    if (ok)
        add(pool, times);
}

bool sameNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

void learnProductType(PollSources& sources)
{
    sources.workstation = 1;  // unless the system says otherwise
    win::HKEY key = nullptr;
    if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", 0,
                           win::KEY_READ, &key) != win::ERROR_SUCCESS)
        return;
    char value[32] = {};
    win::DWORD size = sizeof value - 1;
    if (win::RegQueryValueExA(key, "ProductType", nullptr, nullptr, reinterpret_cast<win::BYTE*>(value), &size) ==
        win::ERROR_SUCCESS)
        sources.workstation = sameNoCase(value, "WinNT") ? 1 : 0;
    win::RegCloseKey(key);
}

void addNetworkStatistics(RandomPool& pool, PollSources& sources)
{
    if (!sources.netapi)
        sources.netapi = win::LoadLibraryA("NETAPI32.DLL");
    if (!sources.netapi)
        return;
    auto get = reinterpret_cast<win::NetStatisticsGetProc>(win::GetProcAddress(sources.netapi, "NetStatisticsGet"));
    auto sizeOf = reinterpret_cast<win::NetApiBufferSizeProc>(win::GetProcAddress(sources.netapi, "NetApiBufferSize"));
    auto release = reinterpret_cast<win::NetApiBufferFreeProc>(win::GetProcAddress(sources.netapi, "NetApiBufferFree"));
    if (!get || !sizeOf || !release)
        return;
    char16_t workstation[] = u"LanmanWorkstation";
    char16_t server[] = u"LanmanServer";
    win::BYTE* buffer = nullptr;
    if (get(nullptr, sources.workstation ? workstation : server, 0, 0, &buffer) != win::NERR_Success)
        return;
    win::DWORD size = 0;
    if (sizeOf(buffer, &size) == win::NERR_Success)
        pool.addBuffer(buffer, size);
    release(buffer);
}

void addDrivePerformance(RandomPool& pool)
{
    for (int drive = 0;; ++drive) {
        char path[32];
        std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", drive);
        // No access asked: only the counters are read, and no open is refused for sharing.
        win::HANDLE h = win::CreateFileA(path, 0, win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr,
                                         win::OPEN_EXISTING, 0, nullptr);
        if (h == win::INVALID_HANDLE_VALUE)
            return;
        win::DISK_PERFORMANCE performance{};
        win::DWORD returned = 0;
        if (win::DeviceIoControl(h, win::IOCTL_DISK_PERFORMANCE, nullptr, 0, &performance, sizeof performance,
                                 &returned, nullptr))
            add(pool, performance);
        win::CloseHandle(h);
    }
}

}  // namespace

bool fastPoll(RandomPool& pool, PollSources& sources)
{
    const std::size_t cursor = pool.writeCursor();
    add(pool, win::GetCurrentProcess());
    pool.addInt32(win::GetCurrentProcessId());
    add(pool, win::GetCurrentThread());
    pool.addInt32(win::GetCurrentThreadId());
    pool.addInt32(win::GetTickCount());
    pool.addInt32(static_cast<std::uint32_t>(win::GetMessageTime()));
    if (win::POINT cursorAt{}; win::GetCursorPos(&cursorAt))
        add(pool, cursorAt);
    win::MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (win::GlobalMemoryStatusEx(&memory))
        add(pool, memory);
    win::FILETIME times[4] = {};
    addTimes(pool, win::GetThreadTimes(win::GetCurrentThread(), &times[0], &times[1], &times[2], &times[3]), times);
    addTimes(pool, win::GetProcessTimes(win::GetCurrentProcess(), &times[0], &times[1], &times[2], &times[3]), times);
    win::SIZE_T workingSet[2] = {};
    if (win::GetProcessWorkingSetSize(win::GetCurrentProcess(), &workingSet[0], &workingSet[1]))
        add(pool, workingSet);
    if (!sources.startupInfoAdded) {
        win::STARTUPINFOA startup{};
        win::GetStartupInfoA(&startup);
        add(pool, startup);
        sources.startupInfoAdded = true;
    }
    if (win::LARGE_INTEGER counter{}; win::QueryPerformanceCounter(&counter))
        add(pool, counter);
    else
        pool.addInt32(win::GetTickCount());
    const bool ok = addCryptoBytes(pool, sources.provider);
    pool.mix();
    pool.setWriteCursor(cursor);
    return ok;
}

bool slowPoll(RandomPool& pool, PollSources& sources)
{
    if (sources.workstation < 0)
        learnProductType(sources);
    addNetworkStatistics(pool, sources);
    addDrivePerformance(pool);
    bool ok = true;
    for (int round = 0; round < 100 && ok; ++round)
        ok = addCryptoBytes(pool, sources.provider);
    pool.mix();
    return ok;
}

}  // namespace kx
