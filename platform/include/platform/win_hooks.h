// Keyboard and mouse hooks, and the input state Windows keeps per thread.
// This machine has no window system of its own: the desktop application hands
// its key and mouse events to win::emu, which runs the hooks installed for the
// calling thread (or for every thread) exactly as Windows would.
#pragma once

#include "platform/win_types.h"

namespace win {

using HHOOK = struct HookObject*;
using HOOKPROC = LRESULT (*)(int code, WPARAM wParam, LPARAM lParam);

enum : int {
    WH_KEYBOARD = 2,
    WH_MOUSE = 7,
    HC_ACTION = 0,
};

enum : UINT {
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    WM_MBUTTONDBLCLK = 0x0209,
    HTCLIENT = 1,
};

// What a WH_MOUSE hook receives as its lParam.
struct MOUSEHOOKSTRUCT {
    POINT pt;
    HWND hwnd;
    UINT wHitTestCode;
    std::uintptr_t dwExtraInfo;
};

// threadId 0 hooks every thread of the process.
HHOOK SetWindowsHookExA(int hookType, HOOKPROC proc, HINSTANCE module, DWORD threadId);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
BOOL UnhookWindowsHookEx(HHOOK hook);

// Where the last mouse event put the cursor, and when the last input event
// came (tick count); both start at zero.
BOOL GetCursorPos(POINT* point);
LONG GetMessageTime();

namespace emu {

// A key event as the application saw it.
struct KeyEvent {
    WPARAM virtualKey = 0;
    BYTE scanCode = 0;
    WORD repeatCount = 1;
    bool extended = false;
    bool altDown = false;
    bool wasDown = false;  // a release, or a press repeated while held
    bool released = false;
};

// The keystroke flags a WH_KEYBOARD hook receives as its lParam: repeat
// count in bits 0-15, scan code 16-23, extended 24, Alt 29, previous state
// 30, transition (released) 31.
LPARAM KeyEventParam(const KeyEvent& key);

// Run the calling thread's hooks on one event. Non-zero when a hook asked
// for the event to be discarded.
LRESULT DeliverKeyboardEvent(const KeyEvent& key);
LRESULT DeliverMouseEvent(UINT message, POINT screenPoint, HWND window);

// Hooks installed in this process, of every thread.
int InstalledHookCount(int hookType);

}  // namespace emu

}  // namespace win
