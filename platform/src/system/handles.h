// The process's handle table: every HANDLE the platform gives out names one
// object here until CloseHandle.
#pragma once

#include <memory>

#include "platform/win_types.h"

namespace win::detail {

struct HandleObject {
    virtual ~HandleObject() = default;
};

// Objects WaitForSingleObject can wait on (mutexes, processes).
struct Waitable : HandleObject {
    // Returns WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_ABANDONED or WAIT_FAILED.
    virtual DWORD wait(DWORD milliseconds) = 0;
};

HANDLE registerHandle(std::shared_ptr<HandleObject> object);
std::shared_ptr<HandleObject> lookupHandle(HANDLE handle);
// Removes the handle; false when it names nothing.
bool unregisterHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> lookupAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(lookupHandle(handle));
}

}  // namespace win::detail
