// Keyboard and mouse hooks over the input the application delivers. A hook
// chain runs newest first; each procedure passes the event on through
// CallNextHookEx, which continues the chain of the delivery in progress.
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win_api.h"
#include "platform/win_hooks.h"

namespace win {

struct HookObject {
    int type;
    HOOKPROC proc;
    DWORD threadId;  // 0: every thread
};

namespace {

std::mutex hooksLock;
std::vector<std::shared_ptr<HookObject>> installed;  // oldest first

std::atomic<LONG> cursorX{0}, cursorY{0};
std::atomic<LONG> lastInputTime{0};

// The chain of the delivery running on this thread, and how far it got.
struct Delivery {
    std::vector<std::shared_ptr<HookObject>> chain;
    size_t next = 0;
};
thread_local Delivery* currentDelivery = nullptr;

bool isInstalled(const HookObject* hook)
{
    std::lock_guard guard(hooksLock);
    return std::any_of(installed.begin(), installed.end(), [&](const auto& h) { return h.get() == hook; });
}

bool threadExists(DWORD threadId)
{
    const std::string task = "/proc/self/task/" + std::to_string(threadId);
    if (DIR* dir = ::opendir(task.c_str())) {
        ::closedir(dir);
        return true;
    }
    return false;
}

// Runs the rest of the current chain from its next hook still installed.
LRESULT callNext(int code, WPARAM wParam, LPARAM lParam)
{
    Delivery* delivery = currentDelivery;
    while (delivery && delivery->next < delivery->chain.size()) {
        const auto hook = delivery->chain[delivery->next++];
        if (isInstalled(hook.get()))
            return hook->proc(code, wParam, lParam);
    }
    return 0;
}

LRESULT deliver(int type, WPARAM wParam, LPARAM lParam)
{
    Delivery delivery;
    const DWORD self = GetCurrentThreadId();
    {
        std::lock_guard guard(hooksLock);
        for (auto it = installed.rbegin(); it != installed.rend(); ++it)
            if ((*it)->type == type && ((*it)->threadId == 0 || (*it)->threadId == self))
                delivery.chain.push_back(*it);
    }
    lastInputTime = static_cast<LONG>(GetTickCount());
    Delivery* outer = currentDelivery;  // a hook may deliver in turn
    currentDelivery = &delivery;
    const LRESULT result = callNext(HC_ACTION, wParam, lParam);
    currentDelivery = outer;
    return result;
}

}  // namespace

HHOOK SetWindowsHookExA(int hookType, HOOKPROC proc, HINSTANCE, DWORD threadId)
{
    if (hookType != WH_KEYBOARD && hookType != WH_MOUSE) {
        SetLastError(ERROR_INVALID_PARAMETER);  // no other kind of hook exists here
        return nullptr;
    }
    if (!proc || (threadId != 0 && !threadExists(threadId))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto hook = std::make_shared<HookObject>(HookObject{hookType, proc, threadId});
    std::lock_guard guard(hooksLock);
    installed.push_back(hook);
    return hook.get();
}

LRESULT CallNextHookEx(HHOOK, int code, WPARAM wParam, LPARAM lParam)
{
    return callNext(code, wParam, lParam);
}

BOOL UnhookWindowsHookEx(HHOOK hook)
{
    std::lock_guard guard(hooksLock);
    const auto it = std::find_if(installed.begin(), installed.end(), [&](const auto& h) { return h.get() == hook; });
    if (it == installed.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    installed.erase(it);
    return TRUE;
}

BOOL GetCursorPos(POINT* point)
{
    if (!point) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *point = POINT{cursorX.load(), cursorY.load()};
    return TRUE;
}

LONG GetMessageTime() { return lastInputTime.load(); }

namespace emu {

LPARAM KeyEventParam(const KeyEvent& key)
{
    DWORD flags = key.repeatCount;
    flags |= DWORD(key.scanCode) << 16;
    flags |= key.extended ? 1u << 24 : 0;
    flags |= key.altDown ? 1u << 29 : 0;
    flags |= key.wasDown || key.released ? 1u << 30 : 0;
    flags |= key.released ? 1u << 31 : 0;
    // The keystroke flags are a 32-bit value; a 64-bit lParam carries them
    // without sign extension, as Windows does.
    return static_cast<LPARAM>(flags);
}

LRESULT DeliverKeyboardEvent(const KeyEvent& key) { return deliver(WH_KEYBOARD, key.virtualKey, KeyEventParam(key)); }

LRESULT DeliverMouseEvent(UINT message, POINT screenPoint, HWND window)
{
    cursorX = screenPoint.x;
    cursorY = screenPoint.y;
    MOUSEHOOKSTRUCT record{};
    record.pt = screenPoint;
    record.hwnd = window;
    record.wHitTestCode = HTCLIENT;
    return deliver(WH_MOUSE, message, reinterpret_cast<LPARAM>(&record));
}

int InstalledHookCount(int hookType)
{
    std::lock_guard guard(hooksLock);
    return static_cast<int>(std::count_if(installed.begin(), installed.end(),
                                          [&](const auto& h) { return h->type == hookType; }));
}

}  // namespace emu

}  // namespace win
