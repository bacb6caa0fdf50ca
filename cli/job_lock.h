// The disk's job lock for a command that writes the disk: taken, or the
// command stops with what holds the disk, before anything is written.
#pragma once

#include <string>

#include "app/core/jobs/DiskJobLock.h"

namespace cli {

// Throws DiskBusy when another job holds the disk, CommandFailure when the
// lock cannot be had at all.
DiskJobLock lockDisk(const std::string& devpath, DiskJobKind kind);

}  // namespace cli
