#include "cli/job_lock.h"

#include "cli/command_line.h"
#include "cli/library_session.h"

namespace cli {

DiskJobLock lockDisk(const std::string& devpath, DiskJobKind kind)
{
    DiskJobLock lock = DiskJobLock::Take(devpath.c_str(), kind);
    if (lock.Held())
        return lock;
    if (lock.Busy())
        throw DiskBusy(lock.Refusal() + "; nothing was written");
    throw CommandFailure(lock.Refusal() + "; nothing was written");
}

}  // namespace cli
