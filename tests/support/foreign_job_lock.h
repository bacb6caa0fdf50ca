// A disk's job lock held as another program would hold it: through a handle
// of its own on the lock's file, with its own holder line.
#pragma once

#include <string>

#include "platform/machine.h"
#include "platform/win_types.h"

namespace testing_support {

class ForeignJobLock {
public:
    // The lock of the machine's disk in slot, held with the given line.
    ForeignJobLock(machine::Machine& m, int slot, const std::string& holderLine);
    ~ForeignJobLock();
    ForeignJobLock(const ForeignJobLock&) = delete;
    ForeignJobLock& operator=(const ForeignJobLock&) = delete;

    bool held() const { return handle_ != win::INVALID_HANDLE_VALUE; }

private:
    win::HANDLE handle_ = win::INVALID_HANDLE_VALUE;
};

}  // namespace testing_support
