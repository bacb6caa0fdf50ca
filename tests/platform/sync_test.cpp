// Mutexes as the library lock uses them, and time under the machine's scale.
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/win_api.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

using Clock = std::chrono::steady_clock;

class Sync : public testing_support::TempMachine {};

DWORD waitFromOtherThread(HANDLE mutex, DWORD ms)
{
    DWORD result = WAIT_FAILED;
    std::thread([&] {
        result = WaitForSingleObject(mutex, ms);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            ReleaseMutex(mutex);
    }).join();
    return result;
}

TEST_F(Sync, OwnerReentersAndReleasesAsOftenAsItWaited)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(mutex, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(waitFromOtherThread(mutex, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(waitFromOtherThread(mutex, 0), WAIT_TIMEOUT) << "still held once";
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(waitFromOtherThread(mutex, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(ReleaseMutex(mutex));
    EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
    EXPECT_TRUE(CloseHandle(mutex));
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(Sync, OnlyTheOwnerReleases)
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    BOOL released = TRUE;
    DWORD error = 0;
    std::thread([&] {
        released = ReleaseMutex(mutex);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(released);
    EXPECT_EQ(error, ERROR_NOT_OWNER);
    EXPECT_EQ(waitFromOtherThread(mutex, 0), WAIT_TIMEOUT) << "created owned";
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_F(Sync, WaiterBlocksUntilRelease)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
    std::atomic<bool> got{false};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        result = WaitForSingleObject(mutex, INFINITE);
        got = true;
        ReleaseMutex(mutex);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(got);
    ReleaseMutex(mutex);
    waiter.join();
    EXPECT_TRUE(got);
    EXPECT_EQ(result, WAIT_OBJECT_0);
    CloseHandle(mutex);
}

TEST_F(Sync, OwnerThatEndsAbandonsTheMutex)
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    std::thread([&] { WaitForSingleObject(mutex, INFINITE); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex)) << "the waiter owns it after all";
    EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

TEST_F(Sync, WaitsFollowTheTimeScale)
{
    HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    const auto start = Clock::now();
    EXPECT_EQ(waitFromOtherThread(mutex, 20000), WAIT_TIMEOUT);
    Sleep(10000);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << "30 s of machine time at scale 0.001";
    ReleaseMutex(mutex);
    CloseHandle(mutex);

    const DWORD before = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(GetTickCount() - before, 5000u) << "ticks run a thousand times faster";
}

}  // namespace
