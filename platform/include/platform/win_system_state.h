// System state that changes from moment to moment: memory status, thread and
// process times, working set, start-up information, the performance counter,
// network statistics (netapi32.dll) and disk performance counters. Each is
// answered from this machine's real figures; see system_state.cpp.
#pragma once

#include "platform/win_ioctl.h"
#include "platform/win_types.h"

namespace win {

struct MEMORYSTATUSEX {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    ULONGLONG ullTotalPhys;
    ULONGLONG ullAvailPhys;
    ULONGLONG ullTotalPageFile;
    ULONGLONG ullAvailPageFile;
    ULONGLONG ullTotalVirtual;
    ULONGLONG ullAvailVirtual;
    ULONGLONG ullAvailExtendedVirtual;
};

// A pseudo handle for the calling thread, as GetCurrentProcess is for the process.
HANDLE GetCurrentThread();
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);
// Only the calling thread and the current process can be asked.
BOOL GetThreadTimes(HANDLE thread, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user);
BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel, FILETIME* user);
BOOL GetProcessWorkingSetSize(HANDLE process, SIZE_T* minimum, SIZE_T* maximum);
void GetStartupInfoA(STARTUPINFOA* info);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL VirtualLock(LPVOID address, SIZE_T size);
BOOL VirtualUnlock(LPVOID address, SIZE_T size);

// netapi32.dll, reached through LoadLibraryA and GetProcAddress.
using NET_API_STATUS = DWORD;
constexpr NET_API_STATUS NERR_Success = 0;
NET_API_STATUS NetStatisticsGet(LPWSTR server, LPWSTR service, DWORD level, DWORD options, BYTE** buffer);
NET_API_STATUS NetApiBufferSize(LPVOID buffer, LPDWORD size);
NET_API_STATUS NetApiBufferFree(LPVOID buffer);
using NetStatisticsGetProc = decltype(&NetStatisticsGet);
using NetApiBufferSizeProc = decltype(&NetApiBufferSize);
using NetApiBufferFreeProc = decltype(&NetApiBufferFree);

// Disk performance counters of a physical drive.
constexpr DWORD IOCTL_DISK_PERFORMANCE = 0x00070020;
static_assert(IOCTL_DISK_PERFORMANCE == CTL_CODE(FILE_DEVICE_DISK, 8, METHOD_BUFFERED, FILE_ANY_ACCESS));

struct DISK_PERFORMANCE {
    LARGE_INTEGER BytesRead;
    LARGE_INTEGER BytesWritten;
    LARGE_INTEGER ReadTime;  // 100 ns units
    LARGE_INTEGER WriteTime;
    LARGE_INTEGER IdleTime;
    DWORD ReadCount;
    DWORD WriteCount;
    DWORD QueueDepth;
    DWORD SplitCount;
    LARGE_INTEGER QueryTime;
    DWORD StorageDeviceNumber;
    WCHAR StorageManagerName[8];
};
static_assert(sizeof(DISK_PERFORMANCE) == 88);

}  // namespace win
