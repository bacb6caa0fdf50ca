// The process-wide random pool: start and stop, reading, and the hooks fed
// by the input the application delivers.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "kx_fixture.h"
#include "platform/win_api.h"
#include "platform/win_hooks.h"
#include "common/kx_random.h"

namespace kx_test {
namespace {

using Block = std::array<std::uint8_t, 64>;

class RandomPool : public KxTest {
protected:
    void TearDown() override
    {
        kx::randomPoolStop();
        KxTest::TearDown();
    }

    static std::size_t cursor() { return kx::randomWriteCursorForTests(); }

    // How far one key release moves the write cursor.
    static std::size_t keyMoves(int scanCode, win::WORD repeat = 1, bool alt = false, bool released = true)
    {
        const std::size_t before = cursor();
        win::emu::KeyEvent key;
        key.scanCode = static_cast<win::BYTE>(scanCode);
        key.repeatCount = repeat;
        key.altDown = alt;
        key.released = released;
        win::emu::DeliverKeyboardEvent(key);
        return (cursor() + kx::kRandomPoolSize - before) % kx::kRandomPoolSize;
    }

    static std::size_t mouseMoves(int x)
    {
        const std::size_t before = cursor();
        win::emu::DeliverMouseEvent(win::WM_MOUSEMOVE, win::POINT{x, 40}, nullptr);
        return (cursor() + kx::kRandomPoolSize - before) % kx::kRandomPoolSize;
    }
};

TEST_F(RandomPool, StartsWithTheLibraryOnceAndStopsWithIt)
{
    const int keyboardHooks = win::emu::InstalledHookCount(win::WH_KEYBOARD);
    const int mouseHooks = win::emu::InstalledHookCount(win::WH_MOUSE);
    ASSERT_EQ(kx_soft_init(), 1);
    EXPECT_TRUE(kx::randomPoolRunning());
    ASSERT_TRUE(kx::randomPoolStart()) << "a running pool";
    EXPECT_EQ(win::emu::InstalledHookCount(win::WH_KEYBOARD), keyboardHooks + 1);
    EXPECT_EQ(win::emu::InstalledHookCount(win::WH_MOUSE), mouseHooks + 1);
    machine::setSetting(m(), "time_scale", "1");  // Windows' waits at their own length
    const auto stopping = std::chrono::steady_clock::now();
    kx_soft_exit();
    // The poll thread sees the stop at once: no program waits out a whole
    // 250 ms step at its exit.
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::milliseconds(200));
    EXPECT_FALSE(kx::randomPoolRunning());
    EXPECT_EQ(win::emu::InstalledHookCount(win::WH_KEYBOARD), keyboardHooks);
    EXPECT_EQ(win::emu::InstalledHookCount(win::WH_MOUSE), mouseHooks);
}

// The private-partition work stops the pool after its headers; the
// library's shut-down then stops it again.
TEST_F(RandomPool, StoppingAStoppedPoolIsHarmless)
{
    ASSERT_EQ(kx_soft_init(), 1);
    kx::randomPoolStop();
    kx_soft_exit();
    kx::randomPoolStop();
    EXPECT_FALSE(kx::randomPoolRunning());
    Block out{};
    EXPECT_FALSE(kx::randomGetBytes(out.data(), out.size())) << "nothing to read from";
    ASSERT_TRUE(kx::randomPoolStart()) << "and it starts again";
    EXPECT_TRUE(kx::randomGetBytes(out.data(), out.size()));
}

TEST_F(RandomPool, AProcessEndingWithThePoolRunningEndsCleanly)
{
    EXPECT_EXIT(
        {
            if (!kx::randomPoolStart())
                std::exit(3);
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(RandomPool, ReadsDifferFromEachOther)
{
    ASSERT_TRUE(kx::randomPoolStart());
    Block a{}, b{};
    ASSERT_TRUE(kx::randomGetBytes(a.data(), a.size()));
    ASSERT_TRUE(kx::randomGetBytes(b.data(), b.size()));
    EXPECT_NE(a, b);
    EXPECT_NE(a, Block{});
    // A restarted pool is a new pool, not the old one replayed.
    kx::randomPoolStop();
    ASSERT_TRUE(kx::randomPoolStart());
    Block c{};
    ASSERT_TRUE(kx::randomGetBytes(c.data(), c.size()));
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
}

TEST_F(RandomPool, AReadOfMoreThanThePoolFillsThePoolsWorthAndFails)
{
    ASSERT_TRUE(kx::randomPoolStart());
    std::array<std::uint8_t, 400> out{};
    out.fill(0x5A);
    EXPECT_FALSE(kx::randomGetBytes(out.data(), out.size()));
    EXPECT_TRUE(std::all_of(out.begin() + 320, out.end(), [](auto b) { return b == 0x5A; }));
    EXPECT_LT(std::count(out.begin(), out.begin() + 320, 0x5A), 10);
    EXPECT_TRUE(kx::randomGetBytes(out.data(), 320));
}

TEST_F(RandomPool, TheSlowPollRunsOnceUnlessForced)
{
    ASSERT_TRUE(kx::randomPoolStart());
    Block out{};
    // Fast polls put the cursor back; the slow poll does not, and on this
    // machine (two drives' records and the network statistics) it does not
    // add a whole number of pools.
    std::size_t before = cursor();
    ASSERT_TRUE(kx::randomGetBytes(out.data(), out.size()));
    EXPECT_NE(cursor(), before);
    before = cursor();
    ASSERT_TRUE(kx::randomGetBytes(out.data(), out.size()));
    EXPECT_EQ(cursor(), before);
    ASSERT_TRUE(kx::randomGetBytes(out.data(), out.size(), true));
    EXPECT_NE(cursor(), before);

    // A restarted pool starts empty and gets a slow poll of its own.
    kx::randomPoolStop();
    ASSERT_TRUE(kx::randomPoolStart());
    before = cursor();
    ASSERT_TRUE(kx::randomGetBytes(out.data(), out.size()));
    EXPECT_NE(cursor(), before);
}

TEST_F(RandomPool, AFailingCryptoApiFailsTheReadAnAbsentOneDoesNot)
{
    machine::setSetting(m(), "cryptoapi", "fails");
    ASSERT_TRUE(kx::randomPoolStart());
    Block out{};
    EXPECT_FALSE(kx::randomGetBytes(out.data(), out.size()));
    machine::setSetting(m(), "cryptoapi", "ok");
    EXPECT_TRUE(kx::randomGetBytes(out.data(), out.size())) << "the failed slow poll is run again";
    kx::randomPoolStop();

    machine::setSetting(m(), "cryptoapi", "absent");
    ASSERT_TRUE(kx::randomPoolStart());
    Block other{};
    EXPECT_TRUE(kx::randomGetBytes(other.data(), other.size()));
    EXPECT_NE(other, out);
}

TEST_F(RandomPool, KeyReleasesFeedThePoolByTheRules)
{
    ASSERT_TRUE(kx::randomPoolStart());
    keyMoves(0x01);
    keyMoves(0x02);  // whatever came before, the history is now 1, 2
    EXPECT_EQ(keyMoves(0x1E), 4u);
    EXPECT_EQ(keyMoves(0x1E), 4u) << "the second press of a key";
    EXPECT_EQ(keyMoves(0x1E), 0u) << "the third";
    EXPECT_EQ(keyMoves(0x30, 2), 0u) << "held down";
    EXPECT_EQ(keyMoves(0x30, 1, true), 0u) << "with Alt";
    EXPECT_EQ(keyMoves(0x30, 1, false, false), 0u) << "a press";
    EXPECT_EQ(keyMoves(0x30), 4u);
}

TEST_F(RandomPool, MouseEventsFeedThePoolWhenTheyMove)
{
    ASSERT_TRUE(kx::randomPoolStart());
    mouseMoves(1);
    mouseMoves(2);
    EXPECT_EQ(mouseMoves(10), 4u);
    EXPECT_EQ(mouseMoves(10), 0u);
    EXPECT_EQ(mouseMoves(11), 4u);
    EXPECT_EQ(mouseMoves(10), 0u) << "the place before the last";
    EXPECT_EQ(mouseMoves(12), 4u);
}

TEST_F(RandomPool, HooksHearOnlyTheStartingThreadAndPassEverythingOn)
{
    static int seen;
    seen = 0;
    auto counter = [](int code, win::WPARAM w, win::LPARAM l) -> win::LRESULT {
        ++seen;
        return win::CallNextHookEx(nullptr, code, w, l);
    };
    win::HHOOK mine = win::SetWindowsHookExA(win::WH_KEYBOARD, counter, nullptr, win::GetCurrentThreadId());
    ASSERT_NE(mine, nullptr);
    ASSERT_TRUE(kx::randomPoolStart());  // its hook comes first in the chain
    keyMoves(0x01);
    keyMoves(0x02);
    EXPECT_EQ(keyMoves(0x1E, 2), 0u);
    EXPECT_EQ(seen, 3) << "taken or not, every event reaches the next hook";

    std::size_t moved = 99;
    std::thread([&] { moved = keyMoves(0x1F); }).join();
    EXPECT_EQ(moved, 0u);
    win::UnhookWindowsHookEx(mine);
}

}  // namespace
}  // namespace kx_test
