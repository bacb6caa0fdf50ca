// Windows sharing rules between open handles, across processes: an open is
// refused when it wants access that an existing handle does not share, or
// refuses to share access that an existing handle holds.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace win::detail {

class ShareClaim {
public:
    ShareClaim() = default;
    ~ShareClaim();
    ShareClaim(ShareClaim&& other) noexcept;
    ShareClaim& operator=(ShareClaim&& other) noexcept;
    ShareClaim(const ShareClaim&) = delete;
    ShareClaim& operator=(const ShareClaim&) = delete;

    // Claims access on the object whose lock file descriptor is given (the
    // claim takes ownership of it). Returns ERROR_SUCCESS or
    // ERROR_SHARING_VIOLATION.
    DWORD claim(int lockFd, DWORD access, DWORD share);

private:
    void release();
    int fd_ = -1;
};

// The lock file standing for a device object of the machine.
int openDeviceLockFile(const std::string& machineDir, int diskSlot, int partition);

}  // namespace win::detail
