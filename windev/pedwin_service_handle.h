// A service control manager handle closed when it goes out of scope.
#pragma once

#include "platform/win_svc.h"

namespace kx {

class ServiceHandle {
public:
    explicit ServiceHandle(win::SC_HANDLE handle = nullptr) : handle_(handle) {}
    ~ServiceHandle() { reset(); }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;

    win::SC_HANDLE get() const { return handle_; }
    void reset(win::SC_HANDLE handle = nullptr)
    {
        if (handle_)
            win::CloseServiceHandle(handle_);
        handle_ = handle;
    }

private:
    win::SC_HANDLE handle_;
};

}  // namespace kx
