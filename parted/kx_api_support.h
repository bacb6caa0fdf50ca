// What the device, disk and partition API functions share: readiness waits,
// the lock around a disk call and the texts their log lines carry.
#pragma once

#include <string>

#include "kx/kx.h"
#include "common/kx_lock.h"
#include "common/kx_message.h"
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

// Runs call with the lock held and gives back its result; path gets the
// disk's path for the log line, read under the same lock.
template <typename Call>
auto lockedOnDisk(const kx_disk* disk, std::string& path, Call call)
{
    LibraryLock lock;
    path = diskPathOf(disk);
    return call();
}

// The USB id of the device at devpath into out (KX_USB_ID_SIZE bytes).
// A missing argument is refused before the lock is taken and reported
// under the caller's name.
int usbIdOf(const Where& at, const char* devpath, char* out);

}  // namespace kx
