// Which build of a driver file this Windows takes: the 64-bit question and
// the USB filter driver's file name that follows from it.
#pragma once

#include <string>

namespace kx {

inline constexpr const char* kUsbFilterName = "kxusbflt";

// 64-bit Windows: the process runs under WOW64. Asked once per process.
bool isWindows64();
// Forgets the answer, so one test process can see several machines.
void resetWindows64ForTests();

// "kxusbflt.sys", or "kxusbflt-x64.sys" on 64-bit Windows.
std::string usbFilterFileName();

}  // namespace kx
