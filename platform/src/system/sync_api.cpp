// Time and mutexes. The machine's time scale stretches every wait the
// program asks for, so tests run the product's long waits in milliseconds.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "machine/current_settings.h"
#include "platform/win_api.h"
#include "system/handles.h"

namespace win {

namespace {

using Clock = std::chrono::steady_clock;

// A scale of 0 would stop the tick count; keep it moving.
double timeScale() { return std::max(detail::currentSettings().timeScale, 1e-6); }

std::chrono::nanoseconds scaled(DWORD milliseconds)
{
    return std::chrono::nanoseconds(static_cast<std::int64_t>(milliseconds * timeScale() * 1e6));
}

class MutexObject;

// The mutexes a thread has acquired: those it still owns when it ends are
// abandoned, and the next waiter learns it.
struct OwnedMutexes {
    std::vector<std::weak_ptr<MutexObject>> list;
    ~OwnedMutexes();
    void add(const std::shared_ptr<MutexObject>& mutex)
    {
        std::erase_if(list, [&](const auto& w) { return w.expired(); });
        for (const auto& w : list)
            if (w.lock() == mutex)
                return;
        list.push_back(mutex);
    }
};

thread_local OwnedMutexes ownedByThisThread;

class MutexObject : public detail::Waitable, public std::enable_shared_from_this<MutexObject> {
public:
    void takeInitially()
    {
        std::lock_guard guard(lock_);
        acquire();
    }

    DWORD wait(DWORD milliseconds) override
    {
        const auto self = std::this_thread::get_id();
        std::unique_lock guard(lock_);
        if (owner_ == self) {
            ++count_;  // the owner may re-enter
            return WAIT_OBJECT_0;
        }
        auto isFree = [&] { return count_ == 0; };
        if (milliseconds == INFINITE)
            freed_.wait(guard, isFree);
        else if (!freed_.wait_until(guard, Clock::now() + scaled(milliseconds), isFree))
            return WAIT_TIMEOUT;
        const bool wasAbandoned = abandoned_;
        acquire();
        return wasAbandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }

    bool release()
    {
        std::lock_guard guard(lock_);
        if (count_ == 0 || owner_ != std::this_thread::get_id())
            return false;
        if (--count_ == 0) {
            owner_ = {};
            freed_.notify_one();
        }
        return true;
    }

    void abandonBy(std::thread::id thread)
    {
        std::lock_guard guard(lock_);
        if (count_ == 0 || owner_ != thread)
            return;
        count_ = 0;
        owner_ = {};
        abandoned_ = true;
        freed_.notify_one();
    }

private:
    void acquire()  // lock_ held
    {
        owner_ = std::this_thread::get_id();
        count_ = 1;
        abandoned_ = false;
        ownedByThisThread.add(shared_from_this());
    }

    std::mutex lock_;
    std::condition_variable freed_;
    std::thread::id owner_;
    unsigned count_ = 0;
    bool abandoned_ = false;
};

OwnedMutexes::~OwnedMutexes()
{
    const auto self = std::this_thread::get_id();
    for (const auto& w : list)
        if (auto mutex = w.lock())
            mutex->abandonBy(self);
}

// Named mutexes are shared inside the process only.
std::mutex namesLock;
std::map<std::string, std::weak_ptr<MutexObject>> namedMutexes;

}  // namespace

void Sleep(DWORD milliseconds)
{
    if (milliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(scaled(milliseconds));
}

DWORD GetTickCount()
{
    const double realMs =
        std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
    return static_cast<DWORD>(static_cast<std::uint64_t>(realMs / timeScale()));
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name)
{
    std::shared_ptr<MutexObject> mutex;
    bool existed = false;
    if (name && *name) {
        std::lock_guard guard(namesLock);
        auto& entry = namedMutexes[name];
        mutex = entry.lock();
        existed = mutex != nullptr;
        if (!mutex) {
            mutex = std::make_shared<MutexObject>();
            entry = mutex;
        }
    } else {
        mutex = std::make_shared<MutexObject>();
    }
    // Opening an existing named mutex does not take it.
    if (initialOwner && !existed)
        mutex->takeInitially();
    HANDLE handle = detail::registerHandle(mutex);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE handle)
{
    auto mutex = detail::lookupAs<MutexObject>(handle);
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!mutex->release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    auto waitable = detail::lookupAs<detail::Waitable>(object);
    if (!waitable) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return waitable->wait(milliseconds);
}

}  // namespace win
