// One job at a time on a disk, across processes: an upgrade or a disk setup
// takes the disk's lock before it reads anything that decides what it will
// write, and holds it to the job's end (the device's restart included).
//
// The lock is a file in the shared templates folder, named after the disk's
// USB device (whose instance id a restart keeps), opened for writing without
// write sharing and holding a line that says what holds it. Windows lets it
// go with the handle, so also when the process dies. A process may take a
// lock it holds again (the command line around a worker, a page around its
// worker); the last release lets it go.
#pragma once

#include <memory>
#include <string>

enum class DiskJobKind { Upgrade, Setup };

class DiskJobLock {
public:
    DiskJobLock() = default;
    ~DiskJobLock();
    DiskJobLock(DiskJobLock&& other) noexcept;
    DiskJobLock& operator=(DiskJobLock&& other) noexcept;
    DiskJobLock(const DiskJobLock&) = delete;
    DiskJobLock& operator=(const DiskJobLock&) = delete;

    // The lock of the disk at devPath ("\\Device\\HarddiskN\\Partition0").
    static DiskJobLock Take(const char* devPath, DiskJobKind kind);

    bool Held() const { return !key_.empty(); }
    // Not held because another job holds the disk.
    bool Busy() const { return busy_; }
    // When not held: "disk N is busy: an upgrade started by process P", or
    // why the lock could not be had.
    const std::string& Refusal() const { return refusal_; }

    void Release();

    // What holds one of this machine's disk locks now ("an upgrade started
    // by process P"), or empty: tells why a disk may be away (restarting).
    static std::string AnyHolder();

private:
    std::string key_;
    std::string refusal_;
    bool busy_ = false;
};

// The description a holder leaves in its lock: "an upgrade started by
// process P" or "a disk setup started by process P".
std::string DiskJobDescription(DiskJobKind kind, unsigned long processId);
