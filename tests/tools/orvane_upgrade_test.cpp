// orvane upgrade on a temporary machine: the bytes it leaves in the disk
// image (read back with cmp and od), and the disks and images it refuses.
#include "firmware_cli.h"

namespace {

using namespace firmware_testing;

class OrvaneUpgrade : public FirmwareCli {
protected:
    bool zeros(int slot, std::uint64_t offset, std::uint64_t count)
    {
        return sameBytes(diskImage(slot), offset, "/dev/zero", 0, count);
    }
    fs::path templates() { return m().driveC() / "ProgramData/Microsoft/Windows/Templates"; }
};

TEST_F(OrvaneUpgrade, WritesKernelAndRootfsIntoTheirRegionsAndMarksTheFlags)
{
    layApplianceTable(1);
    const fs::path image = makeImage();
    // Bit 2 and the rest of the flag sector must survive.
    patch(diskImage(1), kFlagAt, "\\004\\000\\000\\000\\125\\252");
    const std::string before = shellOut("tail -c +" + std::to_string(kFlagAt + 5) + " " +
                                        shellQuote(diskImage(1).string()) + " | head -c 508 | cksum");

    const std::uint64_t arrival = state()->disks.at(1).arrival;
    const auto run = orvane({"upgrade", image.string(), "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;

    const std::uint64_t k = fs::file_size(kernel_), r = fs::file_size(rootfs_);
    EXPECT_TRUE(sameBytes(diskImage(1), kKernelAt, kernel_, 0, k));
    EXPECT_TRUE(zeros(1, kKernelAt + k, kKernelRegion - k)) << "the rest of the kernel region is zeroed";
    EXPECT_TRUE(sameBytes(diskImage(1), kRootfsAt, rootfs_, 0, r));
    EXPECT_TRUE(zeros(1, kRootfsAt + r, kRootfsRegion - r));
    EXPECT_EQ(flagWord(1), "0000000f");
    EXPECT_EQ(shellOut("tail -c +" + std::to_string(kFlagAt + 5) + " " + shellQuote(diskImage(1).string()) +
                       " | head -c 508 | cksum"),
              before);
    EXPECT_EQ(shellOut("sfdisk -d " + shellQuote(diskImage(1).string()) + " | grep -c type=82"), "1");

    for (const char* stage : {"verifying image", "writing kernel", "writing rootfs", "checking written regions",
                              "setting upgrade flags", "restarting device", "100% [####################] done"})
        EXPECT_NE(run.out.find(stage), std::string::npos) << stage << "\n" << run.out;
    EXPECT_NE(run.out.find("Result 0: upgrade done"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("The disk is back as " + devpath(1)), std::string::npos) << run.out;
    // The device console tool the restart ran, and the extracted parts.
    EXPECT_TRUE(fs::exists(templates() / "cmddev.exe"));
    EXPECT_TRUE(sameBytes(templates() / "kernel", 0, kernel_, 0, k));
    EXPECT_GT(state()->disks.at(1).arrival, arrival) << "the device was not restarted";
}

TEST_F(OrvaneUpgrade, ABadImageNeverReachesTheDisk)
{
    layApplianceTable(1);
    const fs::path image = makeImage();
    flipByte(image, fs::file_size(image) - 10);
    const std::string print = testing_support::fingerprintFile(diskImage(1));

    auto run = orvane({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("does not verify: its checksum does not hold; nothing was written"), std::string::npos)
        << run.err;
    run = orvane({"upgrade", (work() / "missing.bin").string(), "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no such file"), std::string::npos) << run.err;

    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
    EXPECT_FALSE(fs::exists(templates() / "kernel"));
}

TEST_F(OrvaneUpgrade, ABlankDiskIsGivenItsSystemPartitionAndThenUpgraded)
{
    // An old table with a data partition, as a stick bought in a shop has.
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=4194304, type=c\\n");
    const fs::path image = makeImage();

    const auto run = orvane({"upgrade", image.string(), "--yes"});
    ASSERT_EQ(run.code, 0) << run.out << run.err;

    EXPECT_EQ(shellOut("sfdisk -d " + shellQuote(diskImage(1).string()) + " | grep '^/'"),
              diskImage(1).string() + "1 : start=      131136, size=     1966016, type=82");
    EXPECT_TRUE(sameBytes(diskImage(1), kKernelAt, kernel_, 0, fs::file_size(kernel_)));
    EXPECT_TRUE(sameBytes(diskImage(1), kRootfsAt, rootfs_, 0, fs::file_size(rootfs_)));
    EXPECT_EQ(flagWord(1), "0000000b");
    EXPECT_TRUE(zeros(1, 1024, 15360)) << "gptsurplus region";
    const size_t setUp = run.out.find("Disk set up."), verified = run.out.find("verifying image");
    EXPECT_NE(run.out.find(devpath(1) + " (ORVANE Appliance Disk USB Device - Drives("), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("is not set up for the appliance yet"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("formatting"), std::string::npos) << "nothing to format:\n" << run.out;
    ASSERT_NE(setUp, std::string::npos) << run.out;
    EXPECT_LT(setUp, verified) << run.out;
    EXPECT_NE(run.out.find("Result 0: upgrade done"), std::string::npos) << run.out;
}

TEST_F(OrvaneUpgrade, ABadImageNeverCostsABlankDiskItsPartitions)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=4194304, type=c\\n");
    const fs::path image = makeImage();
    flipByte(image, fs::file_size(image) - 10);
    const std::string print = testing_support::fingerprintFile(diskImage(1));

    const auto run = orvane({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("does not verify"), std::string::npos) << run.err;
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
}

TEST_F(OrvaneUpgrade, DecliningTheSetUpLeavesTheBlankDiskAloneWithItsOwnExitCode)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=4194304, type=c\\n");
    const fs::path image = makeImage();
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    const std::string command = tools_testing::shellQuote(testing_support::buildDir() + "/orvane") + " --machine " +
                                shellQuote(dir_.string()) + " upgrade " + shellQuote(image.string());
    // Yes to the upgrade, then no (or nothing) to setting the disk up.
    for (const std::string input : {"printf 'y\\nn\\n' | ", "printf 'y\\n' | "}) {
        std::string out;
        EXPECT_EQ(shell(input + command, &out), 3) << input << out;
        EXPECT_NE(out.find("deletes every partition"), std::string::npos) << out;
        EXPECT_NE(out.find("setup cancelled; nothing was written"), std::string::npos) << out;
    }
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);
    EXPECT_FALSE(fs::exists(templates() / "kernel"));
}

TEST_F(OrvaneUpgrade, SeveralDisksNeedAChoice)
{
    layApplianceTable(1);
    machine::DiskOptions second;
    second.size = 2ull << 30;
    second.vendor = "ACME";
    second.product = "Stick";
    machine::addDisk(m(), second);
    const fs::path image = makeImage();

    auto run = orvane({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("choose one with --device"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(devpath(1) + "\tORVANE Appliance Disk USB Device"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(devpath(2) + "\tACME Stick USB Device"), std::string::npos) << run.err;

    // Named, the blank second disk is set up and upgraded; the first stays
    // untouched (the tear-down checks).
    chooseDisk(2);
    run = orvane({"upgrade", image.string(), "--yes", "--device", devpath(2)});
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(flagWord(2), "0000000b");
}

TEST_F(OrvaneUpgrade, WithoutYesOnlyAYesGoesOn)
{
    layApplianceTable(1);
    const fs::path image = makeImage();
    const std::string print = testing_support::fingerprintFile(diskImage(1));
    const std::string command = tools_testing::shellQuote(testing_support::buildDir() + "/orvane") + " --machine " +
                                shellQuote(dir_.string()) + " upgrade " + shellQuote(image.string());
    for (const std::string input : {"printf 'n\\n' | ", "printf '' | ", "printf 'yess\\n' | "}) {
        std::string out;
        EXPECT_EQ(shell(input + command, &out), 1) << input;
        EXPECT_NE(out.find("Go on? [y/N]"), std::string::npos) << out;
        EXPECT_NE(out.find("upgrade cancelled; nothing was written"), std::string::npos) << out;
    }
    EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), print);

    std::string out;
    EXPECT_EQ(shell("printf 'Y\\n' | " + command, &out), 0) << out;
    EXPECT_EQ(flagWord(1), "0000000b");
}

TEST_F(OrvaneUpgrade, AWriteFaultNamesTheStageAndLeavesTheFlagsAlone)
{
    layApplianceTable(1);
    const fs::path image = makeImage();
    machine::setDiskSetting(m(), 1, "fail_write_at", std::to_string(kRootfsAt / 512 + 20000));
    const auto run = orvane({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("Result 29: writing rootfs failed: the disk reported a write fault"), std::string::npos)
        << run.out;
    EXPECT_TRUE(sameBytes(diskImage(1), kKernelAt, kernel_, 0, fs::file_size(kernel_))) << "kernel was written first";
    EXPECT_EQ(flagWord(1), "00000000");
    EXPECT_NE(run.out.find("the upgrade flags were not set: no upgrade flags are set"), std::string::npos) << run.out;
}

TEST_F(OrvaneUpgrade, AFailureAfterAnEarlierUpgradeNamesTheFlagWordTheDiskStillHolds)
{
    layApplianceTable(1);
    const fs::path image = makeImage();
    ASSERT_EQ(orvane({"upgrade", image.string(), "--yes"}).code, 0);
    ASSERT_EQ(flagWord(1), "0000000b");
    const struct {
        std::uint64_t sector;
        const char* stage;
    } faults[] = {{kKernelAt / 512 + 10, "writing kernel"}, {kRootfsAt / 512 + 20000, "writing rootfs"}};
    for (const auto& fault : faults) {
        machine::setDiskSetting(m(), 1, "fail_write_at", std::to_string(fault.sector));
        const auto run = orvane({"upgrade", image.string(), "--yes"});
        EXPECT_EQ(run.code, 1) << fault.stage;
        EXPECT_NE(run.out.find(std::string("Result 29: ") + fault.stage + " failed: the disk reported a write fault"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("; the upgrade flags were not set: the flag sector still holds the previous upgrade's "
                               "flags (0x0000000b)."),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(run.out.find("no upgrade flags are set"), std::string::npos) << run.out;
        EXPECT_EQ(flagWord(1), "0000000b") << "the word is only read";
    }
    // A flag sector that cannot be read is said to be so, not guessed at.
    machine::setDiskSetting(m(), 1, "fail_read_at", std::to_string(kFlagAt / 512));
    machine::setDiskSetting(m(), 1, "fail_write_at", std::to_string(kKernelAt / 512 + 10));
    const auto run = orvane({"upgrade", image.string(), "--yes"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("; the upgrade flags were not set, and the flag sector could not be read."),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("0x0000000b"), std::string::npos) << run.out;
}

}  // namespace
