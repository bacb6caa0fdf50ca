// The process-wide random pool: its start and stop, its hooks and poll
// thread, and reading from it. Everything that touches the pool holds its
// section (a recursive mutex, as a critical section is).
#include "common/kx_random.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "common/kx_random_hooks.h"
#include "common/kx_random_poll.h"
#include "platform/win_api.h"
#include "platform/win_hooks.h"
#include "platform/win_system_state.h"

namespace kx {

namespace {

struct PoolGlobals {
    std::mutex lifecycle;  // one start or stop at a time
    std::recursive_mutex section;
    std::condition_variable_any wake;  // ends the poll thread's wait early
    bool running = false;
    bool stopFlag = false;
    bool slowPollDone = false;
    bool fastPollOn = true;
    std::uint8_t* bytes = nullptr;
    RandomPool pool;
    PollSources sources;
    win::HHOOK keyboard = nullptr;
    win::HHOOK mouse = nullptr;
    std::thread pollThread;
    ScanCodeHistory keys;
    MouseHistory mouseValues;
    HookTiming timing;

    // A process that ends without kx_soft_exit: the poll thread must not
    // outlive the pool (a joinable thread would end the process here).
    ~PoolGlobals()
    {
        if (pollThread.joinable()) {
            {
                std::lock_guard lock(section);
                stopFlag = true;
            }
            wake.notify_all();
            pollThread.join();
        }
        if (bytes)
            secureWipe(bytes, kRandomPoolSize);
        delete[] bytes;
    }
};

PoolGlobals& g()
{
    static PoolGlobals globals;
    return globals;
}

win::LRESULT keyboardHook(int code, win::WPARAM wParam, win::LPARAM lParam)
{
    if (code >= 0) {
        // The keystroke flags are 32 bits, however wide lParam is.
        const auto flags = static_cast<std::uint32_t>(lParam);
        std::lock_guard lock(g().section);
        if (g().bytes && keyEventCounts(flags) && g().keys.capture(scanCodeOf(flags)))
            g().pool.addInt32(keyEventValue(flags, g().timing.crc(win::GetTickCount())));
    }
    return win::CallNextHookEx(nullptr, code, wParam, lParam);
}

win::LRESULT mouseHook(int code, win::WPARAM wParam, win::LPARAM lParam)
{
    if (code >= 0 && lParam) {
        const std::uint32_t value = mouseEventValue(reinterpret_cast<const void*>(lParam));
        std::lock_guard lock(g().section);
        if (g().mouseValues.fresh(value) && g().bytes)
            g().pool.addInt32(value + g().timing.crc(win::GetTickCount()));
    }
    return win::CallNextHookEx(nullptr, code, wParam, lParam);
}

// A fast poll every 500 ms until the stop flag is seen. The wait is real
// time, not the machine's scaled Sleep: it is a background feed nobody waits
// for, and a stop cuts it short.
void pollLoop()
{
    std::unique_lock lock(g().section);
    for (;;) {
        if (g().stopFlag) {
            g().stopFlag = false;
            g().wake.notify_all();  // the stopping thread waits for this
            return;
        }
        if (g().fastPollOn)
            fastPoll(g().pool, g().sources);
        g().wake.wait_for(lock, std::chrono::milliseconds(500), [] { return g().stopFlag; });
    }
}

// Undoes whatever part of a start was done; lifecycle held.
void stopPool()
{
    PoolGlobals& s = g();
    std::unique_lock lock(s.section);
    if (s.keyboard)
        win::UnhookWindowsHookEx(s.keyboard);
    if (s.mouse)
        win::UnhookWindowsHookEx(s.mouse);
    s.keyboard = s.mouse = nullptr;
    // Only a thread that was started can clear the flag.
    if (s.pollThread.joinable()) {
        s.stopFlag = true;
        s.wake.notify_all();
        // In steps of 250 ms, each ended as soon as the thread has seen the
        // flag: a short-lived program would otherwise spend a whole step
        // at every exit.
        while (s.stopFlag)
            s.wake.wait_for(lock, std::chrono::milliseconds(250), [&] { return !s.stopFlag; });
        lock.unlock();
        s.pollThread.join();
        lock.lock();
    }
    if (s.sources.netapi)
        win::FreeLibrary(s.sources.netapi);
    s.sources.netapi = nullptr;
    if (s.sources.provider)
        win::CryptReleaseContext(s.sources.provider, 0);
    s.sources.provider = 0;
    if (s.bytes) {
        secureWipe(s.bytes, kRandomPoolSize);
        win::VirtualUnlock(s.bytes, kRandomPoolSize);
        delete[] s.bytes;
    }
    s.bytes = nullptr;
    s.pool.attach(nullptr);
    s.pool.setWriteCursor(0);
    // The slow poll fed the pool just wiped; the next pool needs its own.
    s.slowPollDone = false;
    s.running = false;
}

}  // namespace

bool randomPoolStart()
{
    PoolGlobals& s = g();
    std::lock_guard life(s.lifecycle);
    if (s.running)
        return true;
    s.running = true;
    {
        std::lock_guard lock(s.section);
        s.bytes = new (std::nothrow) std::uint8_t[kRandomPoolSize]();
        if (!s.bytes) {
            stopPool();
            return false;
        }
        // Keeps the pool out of the page file; the pool works without it.
        (void)win::VirtualLock(s.bytes, kRandomPoolSize);
        s.pool.attach(s.bytes);
    }
    const win::DWORD self = win::GetCurrentThreadId();
    s.keyboard = win::SetWindowsHookExA(win::WH_KEYBOARD, keyboardHook, nullptr, self);
    s.mouse = s.keyboard ? win::SetWindowsHookExA(win::WH_MOUSE, mouseHook, nullptr, self) : nullptr;
    if (!s.keyboard || !s.mouse) {
        stopPool();
        return false;
    }
    if (!win::CryptAcquireContextA(&s.sources.provider, nullptr, nullptr, win::PROV_RSA_FULL, 0) &&
        !win::CryptAcquireContextA(&s.sources.provider, nullptr, nullptr, win::PROV_RSA_FULL, win::CRYPT_NEWKEYSET))
        s.sources.provider = 0;
    try {
        s.pollThread = std::thread(pollLoop);
    } catch (const std::system_error&) {
        stopPool();
        return false;
    }
    return true;
}

void randomPoolStop()
{
    std::lock_guard life(g().lifecycle);
    if (g().running)
        stopPool();
}

bool randomPoolRunning()
{
    std::lock_guard life(g().lifecycle);
    return g().running;
}

void randomAddByte(std::uint8_t value)
{
    std::lock_guard lock(g().section);
    if (g().bytes)
        g().pool.addByte(value);
}

void randomAddInt32(std::uint32_t value)
{
    std::lock_guard lock(g().section);
    if (g().bytes)
        g().pool.addInt32(value);
}

void randomAddBuffer(const void* data, std::size_t size)
{
    std::lock_guard lock(g().section);
    if (g().bytes && data)
        g().pool.addBuffer(data, size);
}

bool randomGetBytes(void* out, std::size_t n, bool forceSlowPoll)
{
    PoolGlobals& s = g();
    std::lock_guard lock(s.section);
    if (!s.bytes || (!out && n))
        return false;
    const bool tooMany = n > kRandomPoolSize;
    n = std::min(n, kRandomPoolSize);
    auto* bytes = static_cast<std::uint8_t*>(out);
    bool ok = true;
    if (!s.slowPollDone || forceSlowPoll) {
        if (slowPoll(s.pool, s.sources))
            s.slowPollDone = true;
        else
            ok = false;
    }
    ok = fastPoll(s.pool, s.sources) && ok;
    s.pool.copyOut(bytes, n);
    // What went out must not be readable from the pool that stays.
    s.pool.invert();
    ok = fastPoll(s.pool, s.sources) && ok;
    s.pool.xorOut(bytes, n);
    return ok && !tooMany;
}

std::size_t randomWriteCursorForTests()
{
    std::lock_guard lock(g().section);
    return g().pool.writeCursor();
}

}  // namespace kx
