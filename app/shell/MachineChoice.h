// Which emulated machine this process runs on (--machine DIR), chosen once at
// start-up before any Windows call. On Windows that is the computer itself,
// so the Windows API has no call for it: this is the one place the
// application reaches past platform/win_api.h.
#pragma once

#include <string>

// Empty when the machine in dir is now the one; else why not, as the
// platform words it.
std::string ChooseMachine(const std::string& dir);
