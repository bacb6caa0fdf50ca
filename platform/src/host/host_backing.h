// Opening a host disk: only while it passes every refusal check, only the
// device sysfs names, exclusively and write-through when writing.
#pragma once

#include <string>

#include "platform/machine.h"

namespace host {

// Why the disk may not be opened now; empty when it may.
std::string hostBackingProblem(const machine::Disk& disk);
// -1 with errno ENODEV when it may not (as for an absent disk), else the
// open's own errno; a refused permission is explained on standard error.
int openHostDisk(const machine::Disk& disk, int flags);
// Asks the host kernel to read the new partition table (BLKRRPART); a busy
// disk is only warned about, on standard error.
void rereadHostTable(int fd, const std::string& node);

}  // namespace host
