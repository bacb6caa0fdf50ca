// SIGINT, SIGTERM and SIGHUP during orvane upgrade and setup, one disk and
// many: the disk keeps its old firmware or gets the whole new one with its
// flags, never a mix, and the exit code and the message say which.
#include <signal.h>

#include "firmware_cli.h"
#include "signal_run.h"

namespace {

using namespace firmware_testing;
using tools_testing::RunStep;
using tools_testing::runWithSteps;
using tools_testing::inputAt;
using tools_testing::signalAt;
using tools_testing::SignalledRun;

constexpr const char* kFinishing = "orvane: finishing: the firmware is being written";
constexpr const char* kNothingWritten = "nothing was written";

class OrvaneStopSignal : public FirmwareCli {
protected:
    // An appliance that took an older firmware and cleared its flags after.
    void olderFirmware(int slot)
    {
        const fs::path older = work() / "older.bin";
        const fs::path k = randomFile("older-kernel", 2 * 1024 * 1024, 7), r = randomFile("older-rootfs", 5000000, 8);
        ASSERT_EQ(orvane({"image", "create", "--kernel", k.string(), "--rootfs", r.string(), "-o", older.string()}).code,
                  0);
        ASSERT_EQ(orvane({"upgrade", older.string(), "--yes", "--device", devpath(slot)}).code, 0);
        patch(diskImage(slot), kFlagAt, "\\000\\000\\000\\000");
    }
    // The new firmware whole: both regions as the image has them, zeros
    // after each part, and the flags set.
    bool newFirmware(int slot)
    {
        const std::uint64_t k = fs::file_size(kernel_), r = fs::file_size(rootfs_);
        return sameBytes(diskImage(slot), kKernelAt, kernel_, 0, k) &&
               sameBytes(diskImage(slot), kKernelAt + k, "/dev/zero", 0, kKernelRegion - k) &&
               sameBytes(diskImage(slot), kRootfsAt, rootfs_, 0, r) &&
               sameBytes(diskImage(slot), kRootfsAt + r, "/dev/zero", 0, kRootfsRegion - r) &&
               flagWord(slot) == "0000000b";
    }
    void copySparse(const fs::path& from, const fs::path& to)
    {
        shellOut("cp --sparse=always " + shellQuote(from.string()) + " " + shellQuote(to.string()));
    }
    SignalledRun run(std::vector<std::string> args, const std::vector<RunStep>& steps)
    {
        args.insert(args.begin(), {"--machine", dir_.string()});
        return runWithSteps("orvane", args, steps);
    }
    static std::size_t count(const std::string& text, const std::string& part)
    {
        std::size_t n = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    }
    // Either the disk as it was, exit 130 and "nothing was written", or the
    // whole new firmware, exit 0 and "finishing"; never a mix.
    void expectOneOrTheOther(const SignalledRun& r, int slot, const std::string& before, const std::string& where)
    {
        if (r.code == 130) {
            EXPECT_EQ(testing_support::fingerprintFile(diskImage(slot)), before) << where << "\n" << r.out;
            EXPECT_NE(r.out.find(kNothingWritten), std::string::npos) << where << "\n" << r.out;
            EXPECT_EQ(r.out.find("finishing:"), std::string::npos) << where << "\n" << r.out;
        } else {
            EXPECT_EQ(r.code, 0) << where << "\n" << r.out;
            EXPECT_TRUE(newFirmware(slot)) << where << "\n" << r.out;
            EXPECT_NE(r.out.find("Result 0: upgrade done"), std::string::npos) << where << "\n" << r.out;
        }
    }
};

TEST_F(OrvaneStopSignal, AnUpgradeSignalledAtAnyStageLeavesTheOldFirmwareOrTheWholeNewOne)
{
    layApplianceTable(1);
    olderFirmware(1);
    const fs::path image = makeImage();
    const fs::path disk = work() / "older-disk.img";
    copySparse(diskImage(1), disk);
    int stopped = 0, finished = 0;
    for (const char* stage : {"verifying image", "extracting kernel and rootfs", "writing kernel", "writing rootfs",
                              "checking written regions", "setting upgrade flags"}) {
        copySparse(disk, diskImage(1));
        const std::string before = testing_support::fingerprintFile(diskImage(1));
        const auto r = run({"upgrade", image.string(), "--yes"}, {signalAt(stage, SIGINT)});
        ASSERT_EQ(r.stepsDone, 1u) << stage << "\n" << r.out;
        expectOneOrTheOther(r, 1, before, stage);
        (r.code == 130 ? stopped : finished)++;
        // Once the kernel is being written, only the whole firmware will do.
        if (std::string(stage).starts_with("writing") || std::string(stage).starts_with("checking")) {
            EXPECT_EQ(r.code, 0) << stage << "\n" << r.out;
            EXPECT_EQ(count(r.out, kFinishing), 1u) << stage << "\n" << r.out;
        }
    }
    EXPECT_GE(finished, 3);
}

// The restart of a worker of --all waits for a line: the signal certainly
// comes after the writes, and the second one too.
TEST_F(OrvaneStopSignal, EverySignalOnceWritingHasBegunIsAnsweredAndTheUpgradeFinishes)
{
    layApplianceTable(1);
    olderFirmware(1);
    const fs::path image = makeImage();
    const auto r = run({"upgrade", image.string(), "--yes", "--device", devpath(1), "--restart-when-told"},
                       {signalAt("waiting for the other disks before the restart", SIGTERM), signalAt(kFinishing, SIGHUP),
                        inputAt(kFinishing, "go")});
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(count(r.out, kFinishing), 2u) << r.out;
    EXPECT_TRUE(newFirmware(1)) << r.out;
    EXPECT_NE(r.out.find("The disk is back as"), std::string::npos) << r.out;
}

TEST_F(OrvaneStopSignal, ASignalAtAQuestionEndsAtOnceWithNothingWritten)
{
    layApplianceTable(1);
    const fs::path image = makeImage();
    std::string before = testing_support::fingerprintFile(diskImage(1));
    auto r = run({"upgrade", image.string()}, {signalAt("Go on? [y/N]", SIGINT)});
    EXPECT_EQ(r.code, 130) << r.out;
    EXPECT_NE(r.out.find("Go on? [y/N] \norvane: stopped; nothing was written\n"), std::string::npos) << r.out;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);

    r = run({"setup", "--partitions", "1"}, {signalAt("Go on? [y/N]", SIGHUP)});
    EXPECT_EQ(r.code, 130) << r.out;
    EXPECT_NE(r.out.find("stopped; nothing was written"), std::string::npos) << r.out;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before);

    // A blank disk's own question comes with the disk taken: still nothing
    // is written, and the disk is free again for the next job.
    machine::addDisk(m(), machine::DiskOptions{});
    before = testing_support::fingerprintFile(diskImage(2));
    r = run({"upgrade", image.string(), "--device", devpath(2)}, {inputAt("Go on? [y/N]", "y"), signalAt("Go on? [y/N]", SIGTERM)});
    EXPECT_EQ(r.code, 130) << r.out;
    EXPECT_EQ(count(r.out, "stopped; nothing was written"), 1u) << r.out;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(2)), before);
    EXPECT_EQ(orvane({"upgrade", image.string(), "--yes", "--device", devpath(1)}).code, 0);
}

TEST_F(OrvaneStopSignal, ASetupStopsBeforeItsFirstWriteOrFinishesEveryPartition)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=4194304, type=c\\n");
    const fs::path disk = work() / "old-table.img";
    copySparse(diskImage(1), disk);
    for (const char* stage : {"Setting up:", "Partitions created and visible", "Formatting public partition 2"}) {
        copySparse(disk, diskImage(1));
        rescan(1);
        const std::string before = testing_support::fingerprintFile(diskImage(1));
        const auto r = run({"setup", "--partitions", "2", "--yes"}, {signalAt(stage, SIGINT)});
        if (r.code == 130) {
            EXPECT_EQ(std::string(stage), "Setting up:") << r.out;
            EXPECT_NE(r.out.find("setup stopped before its first write; nothing was written"), std::string::npos)
                << r.out;
            EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), before) << r.out;
            continue;
        }
        EXPECT_EQ(r.code, 0) << stage << "\n" << r.out;
        EXPECT_NE(r.out.find("orvane: finishing: the disk is being set up"), std::string::npos) << stage << "\n"
                                                                                              << r.out;
        EXPECT_NE(r.out.find("Disk set up."), std::string::npos) << r.out;
        EXPECT_EQ(shellOut("sfdisk -d " + shellQuote(diskImage(1).string()) + " | grep -c 'type=7'"), "2");
    }
}

class OrvaneAllStopSignal : public OrvaneStopSignal {
protected:
    // Appliances in slots 1..count with an older firmware.
    void applianceLine(int count)
    {
        for (int slot = 2; slot <= count; ++slot)
            machine::addDisk(m(), machine::DiskOptions{});
        for (int slot = 1; slot <= count; ++slot) {
            layApplianceTable(slot);
            olderFirmware(slot);
        }
    }
    static bool hasLine(const std::string& out, const std::string& start, const std::string& part)
    {
        for (auto at = out.find("\n" + start + " "); at != std::string::npos; at = out.find("\n" + start + " ", at + 1))
            if (out.substr(at, out.find('\n', at + 1) - at).find(part) != std::string::npos)
                return true;
        return false;
    }
    static std::string rowOf(const std::string& out, const std::string& disk)
    {
        const auto at = out.rfind("\n" + disk + " ");
        return at == std::string::npos ? std::string() : out.substr(at + 1, out.find('\n', at + 1) - at - 1);
    }
    // Each disk holds its older firmware or the whole new one, and its row
    // in the table says which.
    void expectEachDiskWholeAndNamed(const SignalledRun& r, int count, const std::vector<std::string>& before)
    {
        for (int slot = 1; slot <= count; ++slot) {
            const std::string row = rowOf(r.out, devpath(slot));
            if (testing_support::fingerprintFile(diskImage(slot)) == before[static_cast<size_t>(slot)]) {
                EXPECT_NE(row.find(kNothingWritten), std::string::npos) << slot << "\n" << r.out;
            } else {
                EXPECT_TRUE(newFirmware(slot)) << slot << "\n" << r.out;
                EXPECT_NE(row.find("upgrade done"), std::string::npos) << slot << "\n" << r.out;
            }
        }
    }
};

TEST_F(OrvaneAllStopSignal, AGroupSignalFinishesTheDisksBeingWrittenAndStartsNoOther)
{
    applianceLine(3);
    const fs::path image = makeImage();
    std::vector<std::string> before{""};
    for (int slot = 1; slot <= 3; ++slot)
        before.push_back(testing_support::fingerprintFile(diskImage(slot)));
    const auto r = run({"upgrade", image.string(), "--all", "--yes", "--jobs", "2"}, {signalAt("writing rootfs", SIGINT)});
    EXPECT_EQ(r.code, 130) << r.out;
    expectEachDiskWholeAndNamed(r, 3, before);
    EXPECT_NE(rowOf(r.out, devpath(3)).find("not started; nothing was written"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("stopping: disks not yet written stop before their first write"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("finishing: the firmware is being written"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" of 3 disks stopped before their first write"), std::string::npos) << r.out;
}

// A service manager's SIGTERM reaches the parent alone: it tells its
// workers, and still prints the table.
TEST_F(OrvaneAllStopSignal, ASignalToTheParentAloneReachesEveryWorker)
{
    applianceLine(2);
    const fs::path image = makeImage();
    std::vector<std::string> before{""};
    for (int slot = 1; slot <= 2; ++slot)
        before.push_back(testing_support::fingerprintFile(diskImage(slot)));
    const auto r = run({"upgrade", image.string(), "--all", "--yes"}, {signalAt("writing kernel", SIGTERM, false)});
    EXPECT_TRUE(r.code == 0 || r.code == 130) << r.out;
    expectEachDiskWholeAndNamed(r, 2, before);
    EXPECT_NE(r.out.find("\nDisk "), std::string::npos) << "no table:\n" << r.out;
    // Each worker heard it: it stopped, or it said it was finishing.
    for (int slot = 1; slot <= 2; ++slot) {
        if (rowOf(r.out, devpath(slot)).find("upgrade done") != std::string::npos) {
            EXPECT_TRUE(hasLine(r.out, devpath(slot), "finishing: the firmware is being written")) << r.out;
        }
    }
    EXPECT_EQ(r.code == 0, r.out.find("All 2 disks done.") != std::string::npos) << r.out;
}

}  // namespace
