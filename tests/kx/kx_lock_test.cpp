#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "kx_fixture.h"
#include "common/kx_lock.h"

namespace kx_test {
namespace {

using namespace std::chrono_literals;

class KxLock : public KxTest {
protected:
    void SetUp() override
    {
        KxTest::SetUp();
        ASSERT_EQ(kx_soft_init(), 1);
    }
    void TearDown() override
    {
        kx_soft_exit();
        KxTest::TearDown();
    }

    // Another thread that takes the lock, notes it, and lets go.
    std::thread contender(std::atomic<bool>& got)
    {
        return std::thread([&got] {
            kx::takeLibraryLock();
            got = true;
            kx::releaseLibraryLock();
        });
    }
};

TEST_F(KxLock, NestedOwnerKeepsOthersOutUntilTheLastRelease)
{
    std::atomic<bool> got{false};
    kx::takeLibraryLock();
    std::thread other;
    {
        kx::LibraryLock nested;  // a kx_ call made while holding the lock
        other = contender(got);
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(got);
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(got) << "one release of two let another thread in";
    kx::releaseLibraryLock();
    other.join();
    EXPECT_TRUE(got);
}

TEST_F(KxLock, SleepUnlockedLetsOthersInAndTakesItBack)
{
    std::atomic<bool> got{false};
    kx::takeLibraryLock();
    std::thread other = contender(got);
    for (int i = 0; i < 200 && !got; ++i)
        kx::sleepUnlocked(10000);  // 10 ms at the test time scale
    EXPECT_TRUE(got);
    other.join();

    std::atomic<bool> later{false};
    std::thread after = contender(later);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(later) << "the lock was not taken back after the sleep";
    kx::releaseLibraryLock();
    after.join();
    EXPECT_TRUE(later);
}

}  // namespace
}  // namespace kx_test
