// Keyboard and mouse hooks over the input the application delivers.
#include <string>
#include <thread>
#include <vector>

#include "platform/win_api.h"
#include "platform/win_hooks.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

class InputHooks : public testing_support::TempMachine {
protected:
    void TearDown() override
    {
        for (HHOOK h : hooks_)
            UnhookWindowsHookEx(h);
        TempMachine::TearDown();
    }

    HHOOK hook(int type, HOOKPROC proc, DWORD thread)
    {
        HHOOK h = SetWindowsHookExA(type, proc, nullptr, thread);
        if (h)
            hooks_.push_back(h);
        return h;
    }

    static inline std::string calls;
    std::vector<HHOOK> hooks_;
};

TEST_F(InputHooks, TheNewestHookRunsFirstAndDecidesWhetherTheChainGoesOn)
{
    calls.clear();
    const DWORD self = GetCurrentThreadId();
    hook(WH_KEYBOARD, [](int code, WPARAM w, LPARAM l) -> LRESULT {
        calls += "old;";
        return 7;
    }, self);
    HHOOK stopper = hook(WH_KEYBOARD, [](int code, WPARAM w, LPARAM l) -> LRESULT {
        calls += "stopper;";
        return 1;  // eats the event
    }, self);
    hook(WH_KEYBOARD, [](int code, WPARAM w, LPARAM l) -> LRESULT {
        calls += "new;";
        return CallNextHookEx(nullptr, code, w, l);
    }, self);

    EXPECT_EQ(emu::DeliverKeyboardEvent({}), 1);
    EXPECT_EQ(calls, "new;stopper;");

    calls.clear();
    ASSERT_TRUE(UnhookWindowsHookEx(stopper));
    EXPECT_FALSE(UnhookWindowsHookEx(stopper));
    EXPECT_EQ(emu::DeliverKeyboardEvent({}), 7);
    EXPECT_EQ(calls, "new;old;");
    EXPECT_EQ(emu::DeliverMouseEvent(WM_MOUSEMOVE, POINT{1, 2}, nullptr), 0) << "no mouse hooks";
}

TEST_F(InputHooks, AThreadsHookHearsOnlyThatThreadAGlobalOneHearsAll)
{
    calls.clear();
    hook(WH_MOUSE, [](int, WPARAM, LPARAM) -> LRESULT {
        calls += "mine;";
        return 0;
    }, GetCurrentThreadId());
    std::thread([] { emu::DeliverMouseEvent(WM_MOUSEMOVE, POINT{1, 2}, nullptr); }).join();
    EXPECT_EQ(calls, "");
    hook(WH_MOUSE, [](int code, WPARAM w, LPARAM l) -> LRESULT {
        calls += "all;";
        return CallNextHookEx(nullptr, code, w, l);
    }, 0);
    std::thread([] { emu::DeliverMouseEvent(WM_MOUSEMOVE, POINT{1, 2}, nullptr); }).join();
    EXPECT_EQ(calls, "all;");
}

TEST_F(InputHooks, KeystrokeFlagsAndMouseRecordsAsWindowsLaysThemOut)
{
    emu::KeyEvent key;
    key.scanCode = 0x1E;
    key.released = true;
    EXPECT_EQ(emu::KeyEventParam(key), LPARAM(0xC01E0001)) << "no sign extension";
    key = {};
    key.scanCode = 0x2A;
    key.repeatCount = 3;
    key.extended = true;
    key.altDown = true;
    key.wasDown = true;
    EXPECT_EQ(emu::KeyEventParam(key), LPARAM(0x612A0003));

    static MOUSEHOOKSTRUCT seen;
    static WPARAM message;
    hook(WH_MOUSE, [](int, WPARAM w, LPARAM l) -> LRESULT {
        message = w;
        seen = *reinterpret_cast<const MOUSEHOOKSTRUCT*>(l);
        return 0;
    }, GetCurrentThreadId());
    const HWND window = reinterpret_cast<HWND>(std::uintptr_t(0x1234));
    emu::DeliverMouseEvent(WM_LBUTTONDOWN, POINT{-5, 300}, window);
    EXPECT_EQ(message, WPARAM(WM_LBUTTONDOWN));
    EXPECT_EQ(seen.pt.x, -5);
    EXPECT_EQ(seen.pt.y, 300);
    EXPECT_EQ(seen.hwnd, window);
    EXPECT_EQ(seen.wHitTestCode, UINT(HTCLIENT));
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, -5);
    EXPECT_EQ(cursor.y, 300);
}

}  // namespace
