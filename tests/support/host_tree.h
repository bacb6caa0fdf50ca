// A host as the host disk layer reads it, built in a temporary folder: a
// USB-shaped sysfs tree, /dev nodes (loop devices over sparse files where
// the host gives them, else plain files), /proc's mountinfo and swaps, and
// a fake USB hub that answers writes to a device's authorized file. The
// roots are exported (ORVANE_HOST_*) for this process and its children.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class HostTree {
public:
    HostTree();
    ~HostTree();
    HostTree(const HostTree&) = delete;
    HostTree& operator=(const HostTree&) = delete;

    const std::filesystem::path& root() const { return root_; }
    // A whole disk of sectors; port names its USB port ("1-1"), empty for
    // one on SATA. With loop, its node is a loop device when one can be had
    // (see loopNode). Returns its sysfs folder.
    std::filesystem::path addDisk(const std::string& name, const std::string& port, const std::string& serial,
                                  std::uint64_t sectors = 131072, bool loop = false);
    void addPartition(const std::filesystem::path& block, const std::string& name, unsigned major, unsigned minor);
    void mount(const std::string& majorMinor, const std::string& point);
    void addSwap(const std::string& path);
    // The loop device behind the last disk added with loop; empty when none.
    const std::string& loopNode() const { return loopNode_; }
    // From now on a 0 written to port's authorized file takes the disk
    // oldName away, and a 1 brings it back as newName.
    void startHub(const std::string& port, const std::string& oldName, const std::string& newName);
    void stopHub();
    // Every character the hub was written, in order.
    std::string hubWrites() const;

private:
    struct Loop;
    std::filesystem::path root_;
    int disks_ = 0;
    std::vector<std::unique_ptr<Loop>> loops_;
    std::string loopNode_;
    std::thread hub_;
    std::atomic<bool> stop_{false};
    std::string writes_;
    mutable std::mutex writesLock_;
};

}  // namespace testing_support
