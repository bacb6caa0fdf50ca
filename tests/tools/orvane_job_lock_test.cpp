// One job per disk across processes: a second upgrade or setup of a disk
// another job holds stops before any write, names the holder and exits 5;
// the job that holds the disk ends as if it had been alone.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/core/jobs/DiskJobLock.h"
#include "firmware_cli.h"
#include "kx/kx.h"

namespace {

using namespace firmware_testing;

constexpr const char* kDisk = "\\Device\\Harddisk1\\Partition0";

class OrvaneJobLock : public FirmwareCli {
protected:
    fs::path lockFolder() { return m().driveC() / "ProgramData/Microsoft/Windows/Templates/DiskJobs"; }

    // orvane run by the shell in the background; its exit code lands in a file.
    void startInBackground(const std::string& name, const std::vector<std::string>& args)
    {
        std::string command = "env -u KX_MACHINE " + shellQuote(testing_support::buildDir() + "/orvane") +
                              " --machine " + shellQuote(dir_.string());
        for (const auto& a : args)
            command += " " + shellQuote(a);
        const std::string base = shellQuote((work() / name).string());
        shellOut("(" + command + " >" + base + ".out 2>&1; echo $? >" + base + ".rc) >/dev/null 2>&1 &");
    }
    // The background run's exit code and output, once it has ended.
    std::pair<int, std::string> finished(const std::string& name)
    {
        const fs::path rc = work() / (name + ".rc");
        for (int i = 0; i < 600 && (!fs::exists(rc) || fs::file_size(rc) == 0); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::ifstream codeIn(rc), outIn(work() / (name + ".out"));
        int code = -1;
        codeIn >> code;
        return {code, std::string(std::istreambuf_iterator<char>(outIn), {})};
    }
    // Until some job has taken a disk's lock for the first time.
    bool waitForAHolder()
    {
        for (int i = 0; i < 300; ++i) {
            if (fs::exists(lockFolder()))
                for (const auto& entry : fs::directory_iterator(lockFolder())) {
                    std::ifstream in(entry.path());
                    const std::string text((std::istreambuf_iterator<char>(in)), {});
                    if (text.find("started by process") != std::string::npos)
                        return true;
                }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool holdsKernelOf(const fs::path& kernel) { return sameBytes(diskImage(1), kKernelAt, kernel, 0, fs::file_size(kernel)); }
};

TEST_F(OrvaneJobLock, ADiskAnotherProcessHoldsIsRefusedBeforeAnyWrite)
{
    const fs::path image = makeImage();
    ASSERT_EQ(kx_soft_init(), 1);
    ASSERT_EQ(kx_dev_probe(), 1);
    DiskJobLock held = DiskJobLock::Take(kDisk, DiskJobKind::Setup);
    ASSERT_TRUE(held.Held()) << held.Refusal();
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    const std::string busy = "orvane: disk 1 is busy: a disk setup started by process " + std::to_string(::getpid()) +
                             "; nothing was written";

    auto run = orvane({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 5) << run.err;
    EXPECT_NE(run.err.find(busy), std::string::npos) << run.err;
    run = orvane({"setup", "--partitions", "1", "--yes"});
    EXPECT_EQ(run.code, 5) << run.err;
    EXPECT_NE(run.err.find(busy), std::string::npos) << run.err;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);

    held.Release();
    // A program that keeps to the block-device convention (a BSD lock on the
    // disk for its whole job) holds the disk as surely, from any machine
    // folder: it is waited for a moment (udev's looks last that long), then
    // the disk is busy.
    {
        const int foreign = ::open(diskImage(1).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(::flock(foreign, LOCK_EX), 0);
        for (const auto& args : {std::vector<std::string>{"upgrade", image.string(), "--yes"},
                                 std::vector<std::string>{"setup", "--partitions", "1", "--yes"}}) {
            run = orvane(args);
            EXPECT_EQ(run.code, 5) << run.out << run.err;
            EXPECT_NE(run.err.find("disk 1 is busy: another job or program holds its device"), std::string::npos)
                << run.err;
        }
        ::close(foreign);
        EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
    }
    run = orvane({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_TRUE(holdsKernelOf(kernel_));
    kx_soft_exit();
}

// Both orders of two commands on one disk at once, as a person at two
// terminals would start them: the second is refused while the first
// holds the disk, and the disk holds the first one's work.
TEST_F(OrvaneJobLock, TheSecondOfTwoCommandsAtOnceIsRefusedAndTheFirstCompletes)
{
    machine::setSetting(m(), "time_scale", "1");  // jobs that last seconds, as on Windows
    const fs::path first = makeImage("first.bin");
    const fs::path firstKernel = kernel_;
    const fs::path second = work() / "second.bin";
    randomFile("kernel2.part", 700000, 7);
    ASSERT_EQ(orvane({"image", "create", "--kernel", (work() / "kernel2.part").string(), "--rootfs",
                      rootfs_.string(), "-o", second.string()})
                  .code,
              0);

    struct Pair {
        std::vector<std::string> first, second;
    };
    const Pair pairs[] = {
        {{"upgrade", first.string(), "--yes"}, {"upgrade", second.string(), "--yes"}},
        {{"setup", "--partitions", "1", "--yes"}, {"upgrade", second.string(), "--yes"}},
        {{"upgrade", first.string(), "--yes"}, {"setup", "--partitions", "2", "--yes"}},
    };
    int round = 0;
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.first[0] + " then " + pair.second[0]);
        const std::string name = "round" + std::to_string(++round);
        fs::remove_all(lockFolder());
        startInBackground(name + "a", pair.first);
        ASSERT_TRUE(waitForAHolder());
        startInBackground(name + "b", pair.second);
        const auto [secondCode, secondOut] = finished(name + "b");
        const auto [firstCode, firstOut] = finished(name + "a");
        // Refused as busy; or, caught while the first restarts the disk, as
        // away while a job holds a disk.
        EXPECT_EQ(secondCode, 5) << secondOut;
        EXPECT_TRUE(secondOut.find("disk 1 is busy: ") != std::string::npos ||
                    secondOut.find("no USB storage disk is there now, while ") != std::string::npos)
            << secondOut;
        EXPECT_EQ(firstCode, 0) << firstOut;
        if (pair.first[0] == "upgrade")
            EXPECT_TRUE(holdsKernelOf(firstKernel));
        else
            EXPECT_EQ(shellOut("sfdisk --dump " + shellQuote(diskImage(1).string()) + " | grep -c start="), "2")
                << "the system partition and one public partition";
    }
}

}  // namespace
