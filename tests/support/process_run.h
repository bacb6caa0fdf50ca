// Starting a machine's program the way the storage library does:
// CreateProcessA with no window, then a wait for its end.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace testing_support {

// Whether the test also expects both of the child's handles to close.
enum class HandleCheck { none, expectClosed };

// Runs line to its end, expecting that within 20 s; returns its exit code,
// or 1000 + the error when it could not be started.
win::DWORD runToEnd(std::string line, HandleCheck check = HandleCheck::none);

}  // namespace testing_support
