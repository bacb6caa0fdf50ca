// Child processes started by CreateProcessA, for the functions that take a
// process handle.
#pragma once

#include "platform/win_types.h"

namespace win::detail {

bool isProcessHandle(HANDLE handle);

}  // namespace win::detail
