// A disk held for one job (an upgrade, a disk setup), as writers of block
// devices agree to: a BSD lock (flock LOCK_EX) on the whole disk's node for
// the whole job, so udev neither probes it nor re-reads its partition table
// meanwhile, and a second job on that disk, from any machine folder or
// program, finds it busy. A host disk (write-through) and a block device
// backing an emulated disk are also held open exclusively for the job; their
// opens in this process use that checked descriptor instead of opening the
// node again.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/machine.h"

namespace host {

class DiskHold {
public:
    ~DiskHold();
    DiskHold(const DiskHold&) = delete;
    DiskHold& operator=(const DiskHold&) = delete;

    // Null when it cannot be held, with why and whether another holder is
    // the reason (busy) rather than the disk itself.
    static std::shared_ptr<DiskHold> take(const machine::Machine& m, const machine::Disk& disk, std::string& why,
                                          bool& busy);
    // Lets the disk go; later opens of it open its node again.
    void release();

private:
    DiskHold() = default;
    void forget();
    friend int heldDescriptor(const machine::Machine& m, const machine::Disk& disk);
    friend void releaseHolds(const machine::Machine& m, int slot);

    std::string machineDir_;
    int slot_ = -1;
    std::string backing_;
    dev_t device_ = 0;  // the node's device (block) or inode (plain file in a test tree)
    int lockFd_ = -1;
    int ioFd_ = -1;     // host disks: O_RDWR | O_EXCL | O_DSYNC; block device backings: O_RDWR | O_EXCL
};

// A new descriptor on the held host disk or block device backing (dup of
// the checked one), or -1 when this process holds no such disk.
int heldDescriptor(const machine::Machine& m, const machine::Disk& disk);
// Every hold of this process on the disk in that slot let go: its USB device
// is about to be taken off the bus, and a descriptor left open would keep
// its name taken when it comes back.
void releaseHolds(const machine::Machine& m, int slot);

}  // namespace host
