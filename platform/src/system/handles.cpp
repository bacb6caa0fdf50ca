#include "system/handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/win_api.h"

namespace win::detail {

namespace {

struct Table {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>> objects;
    std::uintptr_t next = 0x100;
};

Table& table()
{
    static Table t;
    return t;
}

}  // namespace

HANDLE registerHandle(std::shared_ptr<HandleObject> object)
{
    auto& t = table();
    std::lock_guard guard(t.mutex);
    const std::uintptr_t value = t.next;
    t.next += 4;  // handle values are multiples of four, as on Windows
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> lookupHandle(HANDLE handle)
{
    auto& t = table();
    std::lock_guard guard(t.mutex);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

bool unregisterHandle(HANDLE handle)
{
    std::shared_ptr<HandleObject> object;  // destroyed outside the lock
    auto& t = table();
    std::lock_guard guard(t.mutex);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.objects.end())
        return false;
    object = std::move(it->second);
    t.objects.erase(it);
    return true;
}

}  // namespace win::detail

namespace win {

BOOL CloseHandle(HANDLE handle)
{
    if (!detail::unregisterHandle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace win
