// What the device, disk and partition API functions share: readiness waits
// and the texts their log lines carry.
#pragma once

#include <string>

#include "kx/kx.h"
#include "platform/win_types.h"

namespace kx {

// Up to three pauses for Windows to show the partitions of the disk at
// devpath: test, and when not ready let go of the lock for the pause and
// read the table again. True as soon as a test says ready; after the third
// pause the table is read but not tested. Called with the lock held.
bool waitForPartitions(const std::string& devpath, win::DWORD pauseMs);

// A handle as the number log lines show (0 for none).
int handleNumber(const void* handle);

// A text for a log line: "(null)" for none.
std::string logText(const char* text);

// The device path of the entry that owns disk, "" when none does. Called
// with the lock held; a stale handle is never dereferenced.
std::string devicePathOf(const kx_disk* disk);
// The disk record's own path for log lines ("(null)" for none or a stale
// handle). Called with the lock held.
std::string diskPathOf(const kx_disk* disk);

}  // namespace kx
