// Runs a tool the library hands work to (the device console tool, the
// command-line format): no window, no inherited handles, a bounded wait.
#pragma once

#include "platform/win_types.h"

namespace kx {

// Starts the command line and waits at most waitMs for it. A failed start
// prints "CreateProcess failed (%d)". The tool's exit code, or -1 when it did
// not start or had not ended in time.
int runHiddenTool(const char* commandLine, win::DWORD waitMs);

}  // namespace kx
