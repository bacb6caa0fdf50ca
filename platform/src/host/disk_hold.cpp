#include "host/disk_hold.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "host/host_backing.h"
#include "platform/host_checks.h"

namespace host {

namespace {

// udev takes the disk's lock (shared) for a moment at each event, and its
// re-read of the table claims the disk for a moment: such holders are waited
// out this long; a job holds it far longer and so reads as busy.
constexpr std::chrono::milliseconds kMomentaryHolders{2500};

std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<DiskHold*>& registry()
{
    static std::vector<DiskHold*> holds;
    return holds;
}

// Retries `attempt` while it fails with one of the momentary errors.
template <typename Attempt>
int retryMomentary(Attempt attempt, int momentary)
{
    const auto until = std::chrono::steady_clock::now() + kMomentaryHolders;
    for (;;) {
        const int result = attempt();
        if (result >= 0 || errno != momentary || std::chrono::steady_clock::now() >= until)
            return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Why an open of the node failed, from errno.
std::string openFailure(const std::string& node)
{
    return "cannot open " + node + ": " + std::strerror(errno) +
           (errno == EACCES ? "; run as root or as a member of group disk" : "");
}

dev_t identityOf(const struct stat& st) { return S_ISBLK(st.st_mode) ? st.st_rdev : st.st_ino; }

bool sameNode(int fd, dev_t expected)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && identityOf(st) == expected;
}

}  // namespace

std::shared_ptr<DiskHold> DiskHold::take(const machine::Machine& m, const machine::Disk& disk, std::string& why,
                                         bool& busy)
{
    busy = false;
    std::shared_ptr<DiskHold> hold(new DiskHold);
    hold->machineDir_ = m.dir().string();
    hold->slot_ = disk.slot;
    hold->backing_ = disk.host ? disk.backing : m.backingPath(disk).string();
    if (std::string problem = machine::backingProblem(m, disk); !problem.empty()) {
        why = problem;
        return nullptr;
    }
    // A block device backing an emulated disk is held as a host disk is,
    // and reached through no link at all.
    const bool emulatedDevice = !disk.host && disk.blockDevice;
    const auto openNode = [&](int flags) {
        return emulatedDevice ? machine::openWithoutAnyLink(hold->backing_, flags)
                              : ::open(hold->backing_.c_str(), flags | O_CLOEXEC | O_NOFOLLOW);
    };
    hold->lockFd_ = openNode(O_RDONLY);
    if (hold->lockFd_ < 0) {
        why = openFailure(hold->backing_);
        return nullptr;
    }
    struct stat st {};
    ::fstat(hold->lockFd_, &st);
    hold->device_ = identityOf(st);
    if ((disk.host || emulatedDevice) && hold->device_ != disk.blockDeviceId) {
        why = (disk.host ? "host disk " : "backing ") + disk.backing + " is not the device found for this slot";
        return nullptr;
    }
    if (retryMomentary([&] { return ::flock(hold->lockFd_, LOCK_EX | LOCK_NB); }, EWOULDBLOCK) != 0) {
        busy = errno == EWOULDBLOCK;
        why = busy ? "another job or program holds " + hold->backing_ : "cannot lock " + hold->backing_ + ": " + std::strerror(errno);
        return nullptr;
    }
    if (disk.host || emulatedDevice) {
        hold->ioFd_ = retryMomentary([&] { return openNode(O_RDWR | O_EXCL | (disk.host ? O_DSYNC : 0)); }, EBUSY);
        if (hold->ioFd_ < 0) {
            busy = errno == EBUSY;
            why = busy ? "another program has " + hold->backing_ + " open exclusively or a partition of it mounted"
                       : openFailure(hold->backing_);
            return nullptr;
        }
        if (!sameNode(hold->ioFd_, hold->device_)) {
            why = (disk.host ? "host disk " : "backing ") + disk.backing + " changed while it was opened";
            return nullptr;
        }
    }
    std::lock_guard guard(registryLock());
    registry().push_back(hold.get());
    return hold;
}

void DiskHold::release()
{
    std::lock_guard guard(registryLock());
    forget();
}

// Under the registry's lock: a hold is closed and leaves the registry in one step.
void DiskHold::forget()
{
    auto& holds = registry();
    holds.erase(std::remove(holds.begin(), holds.end(), this), holds.end());
    for (int* fd : {&ioFd_, &lockFd_})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

DiskHold::~DiskHold() { release(); }

int heldDescriptor(const machine::Machine& m, const machine::Disk& disk)
{
    std::lock_guard guard(registryLock());
    for (const DiskHold* hold : registry())
        if (hold->ioFd_ >= 0 && hold->slot_ == disk.slot && hold->machineDir_ == m.dir().string() &&
            hold->backing_ == disk.backing && hold->device_ == disk.blockDeviceId)
            return ::fcntl(hold->ioFd_, F_DUPFD_CLOEXEC, 0);
    return -1;
}

void releaseHolds(const machine::Machine& m, int slot)
{
    std::lock_guard guard(registryLock());
    std::vector<DiskHold*> matching;
    for (DiskHold* hold : registry())
        if (hold->slot_ == slot && hold->machineDir_ == m.dir().string())
            matching.push_back(hold);
    for (DiskHold* hold : matching)
        hold->forget();
}

}  // namespace host
