// orvane on a machine following the host's USB disks, over a USB-shaped
// sysfs tree whose disk is a loop device: the upgrade writes the loop
// device, restarts it through a fake hub and finds it under its new name;
// the disk setup leaves a table and volumes the host's own tools read.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "firmware_cli.h"
#include "support/host_tree.h"

namespace {

using namespace firmware_testing;

class OrvaneHostDisk : public FirmwareCli {
protected:
    void SetUp() override
    {
        FirmwareCli::SetUp();
        tree_ = std::make_unique<testing_support::HostTree>();
        tree_->addDisk("sdb", "1-1", "APPL0001", 4194304, true);  // 2 GiB
        loop_ = tree_->loopNode();
        if (loop_.empty())
            GTEST_SKIP() << "no loop device could be set up here (not root, or no loop driver); "
                            "orvane was not tried on a host block device";
        hostDir_ = tree_->root() / "machine";
        ASSERT_EQ(runTool("orvane-machine", {"create", hostDir_.string(), "--host-disks"}).code, 0);
        tree_->startHub("1-1", "sdb", "sdc");
    }
    void TearDown() override
    {
        tree_.reset();
        FirmwareCli::TearDown();
    }
    tools_testing::ToolRun onHost(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--machine", hostDir_.string()});
        return runTool("orvane", args, "-u KX_MACHINE");
    }
    std::unique_ptr<testing_support::HostTree> tree_;
    std::string loop_;
    fs::path hostDir_;
};

TEST_F(OrvaneHostDisk, DevicesListsTheUsbDiskAndNamesWhyTheOthersAreNotOffered)
{
    tree_->addDisk("sda", "", "");
    tree_->addPartition(tree_->addDisk("sdd", "1-2", "MOUNTED1"), "sdd1", 8, 49);
    tree_->mount("8:49", "/media/stick");
    const auto run = onHost({"devices", "--all"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("ORVANE Appliance Disk"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("not offered: " + (tree_->root() / "dev/sda").string()), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("): it is not on USB"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("): a partition is mounted at /media/stick"), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3) << run.out;
}

TEST_F(OrvaneHostDisk, UpgradeWritesTheLoopDeviceRestartsItAndFindsItUnderItsNewName)
{
    const fs::path image = makeImage();
    const auto run = onHost({"upgrade", image.string(), "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("Result 0: upgrade done"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("The disk is back as"), std::string::npos) << run.out;
    EXPECT_TRUE(sameBytes(loop_, kKernelAt, kernel_, 0, fs::file_size(kernel_)));
    EXPECT_TRUE(sameBytes(loop_, kRootfsAt, rootfs_, 0, fs::file_size(rootfs_)));
    const std::string writes = tree_->hubWrites();
    EXPECT_NE(writes.find("01"), std::string::npos) << "the USB device was not reset: '" << writes << "'";
    const auto list = runTool("orvane-machine", {"--machine", hostDir_.string(), "list"});
    EXPECT_NE(list.out.find((tree_->root() / "dev/sdc").string()), std::string::npos) << list.out;
}

// A restart the host does not allow (the USB device's authorized file
// cannot be written) is no restart: the firmware is written, the operator is
// told to unplug and replug, and the exit status says so.
TEST_F(OrvaneHostDisk, ARestartThatCannotHappenIsSaidSoAndEndsWithItsOwnStatus)
{
    tree_->stopHub();
    const fs::path authorized = tree_->root() / "sys/bus/usb/devices/1-1/authorized";
    fs::remove(authorized);
    fs::create_directory(authorized);
    const fs::path image = makeImage();
    const auto run = onHost({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 6) << run.out << run.err;
    EXPECT_NE(run.out.find("Result 0: upgrade done"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("is back"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("could not be restarted: unplug the appliance and plug it in again"), std::string::npos)
        << run.out;
    EXPECT_TRUE(sameBytes(loop_, kKernelAt, kernel_, 0, fs::file_size(kernel_)));
}

// Another machine folder following the same disk, or any program keeping to
// the block-device lock, holds it: the job stops before any write.
TEST_F(OrvaneHostDisk, ADiskLockedThroughAnotherFolderOrProgramIsBusy)
{
    const fs::path image = makeImage();
    // The loop device's backing file: a block device has no holes to skip.
    const fs::path backing = tree_->root() / "sdb.img";
    const std::string before = testing_support::fingerprintFile(backing);
    // Held as a job holds it: exclusively, and with the lock. The disk is
    // still found (its identity is asked through an open for writing), and
    // only then refused as busy.
    const int holder = ::open((tree_->root() / "dev/sdb").c_str(), O_RDONLY | O_EXCL | O_CLOEXEC);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const fs::path other = tree_->root() / "machine2";
    ASSERT_EQ(runTool("orvane-machine", {"create", other.string(), "--host-disks"}).code, 0);
    for (const fs::path& folder : {hostDir_, other}) {
        const auto run = runTool("orvane", {"--machine", folder.string(), "setup", "--partitions", "1", "--yes"},
                                 "-u KX_MACHINE");
        EXPECT_EQ(run.code, 5) << run.out << run.err;
        EXPECT_NE(run.err.find("is busy: another job or program holds its device"), std::string::npos) << run.err;
    }
    ::close(holder);
    EXPECT_EQ(testing_support::fingerprintFile(backing), before);
    EXPECT_EQ(onHost({"upgrade", image.string(), "--yes"}).code, 0);
}

// udev reads a disk's table again each time a writer closes it (inotify's
// close-after-write). A search opens every disk for writing to ask who it
// is, so it must close none as a writer; a job closes its disk so once.
TEST_F(OrvaneHostDisk, OnlyAJobClosesTheDiskAsAWriterAndOnlyOnce)
{
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (tree_->root() / "dev/sdb").c_str(), IN_CLOSE_WRITE), 0);
    const auto writerCloses = [watch] {
        int count = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
            count += static_cast<int>(n / static_cast<ssize_t>(sizeof(inotify_event)));
        return count;
    };
    ASSERT_EQ(onHost({"devices"}).code, 0);
    ASSERT_EQ(onHost({"devices", "--all"}).code, 0);
    EXPECT_EQ(writerCloses(), 0) << "a search closed the disk as a writer";
    tree_->stopHub();  // no restart: the disk stays sdb
    const fs::path authorized = tree_->root() / "sys/bus/usb/devices/1-1/authorized";
    fs::remove(authorized);
    fs::create_directory(authorized);
    ASSERT_EQ(onHost({"upgrade", makeImage().string(), "--yes"}).code, 6);
    EXPECT_EQ(writerCloses(), 1) << "the job closed the disk as a writer more than once";
    ::close(watch);
}

TEST_F(OrvaneHostDisk, SetupLeavesATableSfdiskReadsAndVolumesBlkidNames)
{
    const auto run = onHost({"setup", "--partitions", "3", "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    const std::string table = shellOut("sfdisk -d " + loop_);
    EXPECT_EQ(shellOut("sfdisk -d " + loop_ + " | grep -c 'start='"), "4") << table;
    EXPECT_EQ(shellOut("sfdisk -d " + loop_ + " | grep -c 'type=7'"), "3") << table;
    std::string offsets = shellOut("sfdisk -d " + loop_ + " | grep 'type=7' | sed 's/.*start= *\\([0-9]*\\).*/\\1/'");
    std::istringstream lines(offsets);
    int n = 0;
    for (std::string start; std::getline(lines, start);) {
        const std::uint64_t at = std::stoull(start) * 512;
        EXPECT_EQ(shellOut("blkid -p -O " + std::to_string(at) + " -s TYPE -s LABEL -o value " + loop_),
                  "Partition-" + std::to_string(++n) + "\nntfs")
            << start;
    }
    EXPECT_EQ(n, 3);
}

}  // namespace
