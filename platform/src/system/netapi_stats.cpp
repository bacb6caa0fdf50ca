// netapi32.dll's network statistics, answered from this machine's real
// interface counters (/proc/net/dev, summed over every interface).
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win_api.h"
#include "platform/win_system_state.h"

namespace win {

namespace {

constexpr NET_API_STATUS ERROR_INVALID_LEVEL = 124;
constexpr NET_API_STATUS NERR_ServiceNotInstalled = 2184;

struct STAT_WORKSTATION_0 {
    LARGE_INTEGER StatisticsStartTime;
    LARGE_INTEGER BytesReceived, SmbsReceived, PagingReadBytesRequested, NonPagingReadBytesRequested;
    LARGE_INTEGER CacheReadBytesRequested, NetworkReadBytesRequested;
    LARGE_INTEGER BytesTransmitted, SmbsTransmitted, PagingWriteBytesRequested, NonPagingWriteBytesRequested;
    LARGE_INTEGER CacheWriteBytesRequested, NetworkWriteBytesRequested;
    DWORD InitiallyFailedOperations, FailedCompletionOperations, ReadOperations, RandomReadOperations;
    DWORD ReadSmbs, LargeReadSmbs, SmallReadSmbs, WriteOperations, RandomWriteOperations, WriteSmbs;
    DWORD LargeWriteSmbs, SmallWriteSmbs, RawReadsDenied, RawWritesDenied, NetworkErrors, Sessions;
    DWORD FailedSessions, Reconnects, CoreConnects, Lanman20Connects, Lanman21Connects, LanmanNtConnects;
    DWORD ServerDisconnects, HungSessions, UseCount, FailedUseCount, CurrentCommands;
};

struct STAT_SERVER_0 {
    DWORD sts0_start, sts0_fopens, sts0_devopens, sts0_jobsqueued, sts0_sopens, sts0_stimedout;
    DWORD sts0_serrorout, sts0_pwerrors, sts0_permerrors, sts0_syserrors;
    DWORD sts0_bytessent_low, sts0_bytessent_high, sts0_bytesrcvd_low, sts0_bytesrcvd_high;
    DWORD sts0_avresponse, sts0_reqbufneed, sts0_bigbufneed;
};

struct Interfaces {
    ULONGLONG rxBytes = 0, rxPackets = 0, rxErrors = 0, rxDropped = 0;
    ULONGLONG txBytes = 0, txPackets = 0, txErrors = 0, txDropped = 0;
};

Interfaces interfaceTotals()
{
    Interfaces total;
    std::FILE* dev = std::fopen("/proc/net/dev", "r");
    if (!dev)
        return total;
    char line[512];
    while (std::fgets(line, sizeof line, dev)) {
        const char* colon = std::strchr(line, ':');
        unsigned long long v[16] = {};
        if (!colon || std::sscanf(colon + 1, "%llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0],
                                  &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9], &v[10],
                                  &v[11]) != 12)
            continue;
        total.rxBytes += v[0], total.rxPackets += v[1], total.rxErrors += v[2], total.rxDropped += v[3];
        total.txBytes += v[8], total.txPackets += v[9], total.txErrors += v[10], total.txDropped += v[11];
    }
    std::fclose(dev);
    return total;
}

LARGE_INTEGER large(ULONGLONG value)
{
    LARGE_INTEGER l;
    l.QuadPart = static_cast<LONGLONG>(value);
    return l;
}

// Buffers handed out, with their sizes, until NetApiBufferFree.
std::mutex buffersLock;
std::map<void*, std::pair<std::unique_ptr<std::max_align_t[]>, DWORD>> buffers;

BYTE* allocate(DWORD size)
{
    auto block = std::make_unique<std::max_align_t[]>((size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
    BYTE* p = reinterpret_cast<BYTE*>(block.get());
    std::memset(p, 0, size);
    std::lock_guard guard(buffersLock);
    buffers[p] = {std::move(block), size};
    return p;
}

bool sameNoCase(LPCWSTR text, const char* ascii)
{
    for (; *text && *ascii; ++text, ++ascii) {
        const char16_t c = (*text >= u'a' && *text <= u'z') ? *text - u'a' + u'A' : *text;
        const char a = (*ascii >= 'a' && *ascii <= 'z') ? *ascii - 'a' + 'A' : *ascii;
        if (c != static_cast<char16_t>(a))
            return false;
    }
    return *text == 0 && *ascii == 0;
}

}  // namespace

NET_API_STATUS NetStatisticsGet(LPWSTR server, LPWSTR service, DWORD level, DWORD options, BYTE** buffer)
{
    if (!service || !buffer || options != 0 || (server && *server))
        return ERROR_INVALID_PARAMETER;
    if (level != 0)
        return ERROR_INVALID_LEVEL;
    const Interfaces net = interfaceTotals();
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    if (sameNoCase(service, "LanmanWorkstation")) {
        BYTE* p = allocate(sizeof(STAT_WORKSTATION_0));
        auto* w = reinterpret_cast<STAT_WORKSTATION_0*>(p);
        w->StatisticsStartTime = started;
        w->BytesReceived = large(net.rxBytes);
        w->SmbsReceived = large(net.rxPackets);
        w->BytesTransmitted = large(net.txBytes);
        w->SmbsTransmitted = large(net.txPackets);
        w->NetworkErrors = static_cast<DWORD>(net.rxErrors + net.txErrors);
        w->FailedCompletionOperations = static_cast<DWORD>(net.rxDropped + net.txDropped);
        *buffer = p;
        return NERR_Success;
    }
    if (sameNoCase(service, "LanmanServer")) {
        BYTE* p = allocate(sizeof(STAT_SERVER_0));
        auto* s = reinterpret_cast<STAT_SERVER_0*>(p);
        s->sts0_start = static_cast<DWORD>(started.QuadPart / 1000000000);
        s->sts0_bytessent_low = static_cast<DWORD>(net.txBytes);
        s->sts0_bytessent_high = static_cast<DWORD>(net.txBytes >> 32);
        s->sts0_bytesrcvd_low = static_cast<DWORD>(net.rxBytes);
        s->sts0_bytesrcvd_high = static_cast<DWORD>(net.rxBytes >> 32);
        s->sts0_syserrors = static_cast<DWORD>(net.rxErrors + net.txErrors);
        *buffer = p;
        return NERR_Success;
    }
    return NERR_ServiceNotInstalled;
}

NET_API_STATUS NetApiBufferSize(LPVOID buffer, LPDWORD size)
{
    std::lock_guard guard(buffersLock);
    const auto it = buffers.find(buffer);
    if (it == buffers.end() || !size)
        return ERROR_INVALID_PARAMETER;
    *size = it->second.second;
    return NERR_Success;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer)
{
    if (!buffer)
        return NERR_Success;
    std::lock_guard guard(buffersLock);
    return buffers.erase(buffer) ? NERR_Success : ERROR_INVALID_PARAMETER;
}

}  // namespace win
