// Runs a tool the library hands work to (the device console tool, the
// command-line format): no window, no inherited handles, a bounded wait.
#pragma once

#include "platform/win_types.h"

namespace kx {

// Starts the command line and waits at most waitMs for it; the tool's own
// outcome is not examined. A failed start prints "CreateProcess failed (%d)".
void runHiddenTool(const char* commandLine, win::DWORD waitMs);

}  // namespace kx
