// Closes a file or device handle on every path out of a scope.
#pragma once

#include "platform/win_api.h"

class ScopedHandle {
public:
    explicit ScopedHandle(win::HANDLE handle) : handle_(handle) {}
    ~ScopedHandle() { Close(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    bool IsValid() const { return handle_ != win::INVALID_HANDLE_VALUE && handle_ != nullptr; }
    win::HANDLE Get() const { return handle_; }
    // Closes now; false when the close itself failed.
    bool Close()
    {
        if (!IsValid())
            return true;
        const bool ok = win::CloseHandle(handle_) != win::FALSE;
        handle_ = win::INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    win::HANDLE handle_;
};
