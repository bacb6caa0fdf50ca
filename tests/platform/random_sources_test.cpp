// CryptoAPI randomness and the system state the random pool polls.
#include <array>

#include "platform/win_api.h"
#include "platform/win_crypt.h"
#include "platform/win_system_state.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class RandomSources : public testing_support::TempMachine {};

TEST_F(RandomSources, CryptoApiGivesFreshBytesUntilReleased)
{
    HCRYPTPROV provider = 0;
    ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0));
    std::array<BYTE, 320> a{}, b{};
    ASSERT_TRUE(CryptGenRandom(provider, a.size(), a.data()));
    ASSERT_TRUE(CryptGenRandom(provider, b.size(), b.data()));
    EXPECT_NE(a, b);
    ASSERT_TRUE(CryptReleaseContext(provider, 0));
    EXPECT_FALSE(CryptGenRandom(provider, a.size(), a.data()));
    EXPECT_FALSE(CryptReleaseContext(provider, 0));
    EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, nullptr, 99, 0));
    EXPECT_EQ(GetLastError(), NTE_PROV_TYPE_NOT_DEF);
}

TEST_F(RandomSources, TheCryptoApiSettingSaysNo)
{
    HCRYPTPROV provider = 0;
    machine::setSetting(m(), "cryptoapi", "no_keyset");
    EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
    ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    CryptReleaseContext(provider, 0);

    machine::setSetting(m(), "cryptoapi", "absent");
    EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0));
    EXPECT_FALSE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));

    machine::setSetting(m(), "cryptoapi", "fails");
    ASSERT_TRUE(CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0));
    BYTE byte = 0;
    EXPECT_FALSE(CryptGenRandom(provider, 1, &byte));
    EXPECT_EQ(GetLastError(), NTE_FAIL);
    CryptReleaseContext(provider, 0);

    EXPECT_EQ(machine::Machine::open(dir_)->read()->settings.cryptoApi, machine::CryptoApi::Fails) << "persisted";
    EXPECT_THROW(machine::setSetting(m(), "cryptoapi", "sometimes"), machine::MachineError);
}

TEST_F(RandomSources, SystemStateOfThisMachine)
{
    MEMORYSTATUSEX memory{};
    EXPECT_FALSE(GlobalMemoryStatusEx(&memory)) << "the record's length must be set";
    memory.dwLength = sizeof memory;
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    EXPECT_GT(memory.ullTotalPhys, 0u);
    EXPECT_LE(memory.ullAvailPhys, memory.ullTotalPhys);
    EXPECT_LE(memory.dwMemoryLoad, 100u);

    FILETIME times[4];
    EXPECT_TRUE(GetThreadTimes(GetCurrentThread(), &times[0], &times[1], &times[2], &times[3]));
    EXPECT_FALSE(GetThreadTimes(GetCurrentProcess(), &times[0], &times[1], &times[2], &times[3]));
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &times[0], &times[1], &times[2], &times[3]));
    EXPECT_GT(times[0].dwHighDateTime, 0x01D00000u) << "created after 2014, in the Windows epoch";
    SIZE_T least = 0, most = 0;
    ASSERT_TRUE(GetProcessWorkingSetSize(GetCurrentProcess(), &least, &most));
    EXPECT_GT(least, 0u);
    EXPECT_GE(most, least);
}

TEST_F(RandomSources, NetworkStatisticsThroughNetapi32)
{
    HMODULE netapi = LoadLibraryA("NETAPI32.DLL");
    ASSERT_NE(netapi, nullptr);
    auto get = reinterpret_cast<NetStatisticsGetProc>(GetProcAddress(netapi, "NetStatisticsGet"));
    auto size = reinterpret_cast<NetApiBufferSizeProc>(GetProcAddress(netapi, "NetApiBufferSize"));
    auto release = reinterpret_cast<NetApiBufferFreeProc>(GetProcAddress(netapi, "NetApiBufferFree"));
    ASSERT_TRUE(get && size && release);
    char16_t workstation[] = u"LanmanWorkstation", server[] = u"LANMANSERVER", other[] = u"Browser";
    BYTE* buffer = nullptr;
    DWORD bytes = 0;
    ASSERT_EQ(get(nullptr, workstation, 0, 0, &buffer), NERR_Success);
    ASSERT_EQ(size(buffer, &bytes), NERR_Success);
    EXPECT_EQ(bytes, 216u);
    EXPECT_EQ(release(buffer), NERR_Success);
    EXPECT_NE(release(buffer), NERR_Success);
    ASSERT_EQ(get(nullptr, server, 0, 0, &buffer), NERR_Success);
    ASSERT_EQ(size(buffer, &bytes), NERR_Success);
    EXPECT_EQ(bytes, 68u);
    release(buffer);
    EXPECT_NE(get(nullptr, other, 0, 0, &buffer), NERR_Success);
    EXPECT_NE(get(nullptr, workstation, 1, 0, &buffer), NERR_Success);
    EXPECT_TRUE(FreeLibrary(netapi));
}

TEST_F(RandomSources, DrivesReportPerformanceCountersToAQueryOnlyOpen)
{
    for (int drive : {0, 1}) {
        const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(drive);
        HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
        DISK_PERFORMANCE performance{};
        DWORD returned = 0;
        EXPECT_FALSE(DeviceIoControl(h, IOCTL_DISK_PERFORMANCE, nullptr, 0, &performance, 80, &returned, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        ASSERT_TRUE(DeviceIoControl(h, IOCTL_DISK_PERFORMANCE, nullptr, 0, &performance, sizeof performance, &returned,
                                    nullptr));
        EXPECT_EQ(returned, 88u);
        EXPECT_EQ(performance.StorageDeviceNumber, DWORD(drive));
        EXPECT_GT(performance.QueryTime.QuadPart, 0);
        // A query-only open takes no share of the disk.
        HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
        CloseHandle(exclusive);
        CloseHandle(h);
    }
}

}  // namespace
