// cmddev: removing and restarting USB devices by hardware id.
#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

using tools_testing::runTool;
using tools_testing::shellQuote;

constexpr const char* kApplianceId = "USB\\VID_1209&PID_4F43";

class Cmddev : public testing_support::TempMachine {
protected:
    tools_testing::ToolRun cmddev(const std::vector<std::string>& args) { return runTool("cmddev", args); }
    // A copy: the cached state it comes from is replaced when another process writes.
    machine::Disk disk(int slot) { return state()->disks.at(static_cast<size_t>(slot)); }

    // Writes a table the kernel has not read yet, as the product's own
    // writes leave it until the device restarts.
    void writeTableUnread()
    {
        std::string out;
        ASSERT_EQ(testing_support::runCommand("printf 'label: dos\\nstart=2048, size=204800, type=7\\n"
                                              "start=206848, size=409600, type=c\\n' | sfdisk --no-reread "
                                              "--no-tell-kernel -q " +
                                                  shellQuote(diskImage(1).string()),
                                              &out),
                  0)
            << out;
        ASSERT_TRUE(disk(1).partitions.empty());
    }

    void expectTableRead(const machine::Disk& d)
    {
        ASSERT_EQ(d.partitions.size(), 2u);
        EXPECT_EQ(d.partitions[0].type, 0x07);
        EXPECT_EQ(d.partitions[0].offset, 2048u * 512);
        EXPECT_EQ(d.partitions[1].type, 0x0C);
        EXPECT_EQ(d.partitions[1].length, 409600u * 512);
        EXPECT_EQ(d.partitions[0].letter, 'D');
        EXPECT_EQ(d.partitions[1].letter, 'E');
    }
};

TEST_F(Cmddev, RestartRereadsTheTableUnderANewArrival)
{
    writeTableUnread();
    const machine::Disk before = disk(1);
    auto run = cmddev({"restart", kApplianceId});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "USB\\VID_1209&PID_4F43\\" + before.serial + ": Restarted\n1 device(s) restarted.\n");

    const machine::Disk after = disk(1);
    EXPECT_TRUE(after.present);
    EXPECT_EQ(after.number, before.number);
    EXPECT_GT(after.arrival, before.arrival);
    EXPECT_EQ(machine::diskInstanceId(after), machine::diskInstanceId(before));
    expectTableRead(after);
}

TEST_F(Cmddev, RestartHonoursTheDiskRestartSettings)
{
    writeTableUnread();
    const machine::Disk before = disk(1);
    machine::setDiskSetting(m(), 1, "restart_new_number", "true");
    ASSERT_EQ(cmddev({"restart", kApplianceId}).code, 0);
    const int firstNew = disk(1).number;
    EXPECT_GT(firstNew, before.number);
    EXPECT_EQ(machine::diskInstanceId(disk(1)), machine::diskInstanceId(before));
    expectTableRead(disk(1));
    // A second restart must not come back under the number it just had.
    ASSERT_EQ(cmddev({"restart", kApplianceId}).code, 0);
    EXPECT_GT(disk(1).number, firstNew);

    machine::setDiskSetting(m(), 1, "restart_new_number", "false");
    machine::setDiskSetting(m(), 1, "restart_new_instance", "true");
    auto run = cmddev({"restart", kApplianceId});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(machine::diskInstanceId(disk(1)), machine::diskInstanceId(before));
    // The USB parent keeps its id: that is how the product finds the disk again.
    EXPECT_EQ(machine::usbInstanceId(disk(1)), machine::usbInstanceId(before));
    EXPECT_EQ(disk(1).number, before.number);

    machine::setDiskSetting(m(), 1, "restart_returns", "false");
    run = cmddev({"restart", kApplianceId});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("1 device(s) restarted."), std::string::npos) << run.out;
    EXPECT_FALSE(disk(1).present);
    EXPECT_TRUE(disk(1).partitions.empty());
}

TEST_F(Cmddev, RemoveLeavesTheDiskAbsentAndAHardwareIdMatchesInAnyCase)
{
    writeTableUnread();
    auto run = cmddev({"remove", "usb\\vid_1209&pid_4f43"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, machine::usbInstanceId(disk(1)) + ": Removed\n1 device(s) removed.\n");
    EXPECT_FALSE(disk(1).present);
    EXPECT_EQ(disk(1).number, -1);

    // Gone means gone: a restart finds nothing to bring back.
    run = cmddev({"restart", kApplianceId});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "No devices restarted.\n");
    EXPECT_FALSE(disk(1).present);
}

TEST_F(Cmddev, OnlyDevicesWithTheIdAreTouchedAndEachIsReported)
{
    machine::DiskOptions options;
    options.size = 1 << 20;
    options.serial = "TWIN";
    const int twin = machine::addDisk(m(), options);
    options.serial = "OTHER";
    options.pid = 0x0001;
    const int other = machine::addDisk(m(), options);
    const auto otherArrival = disk(other).arrival;

    auto run = cmddev({"restart", "\"USB\\VID_1209&PID_4F43\""});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, machine::usbInstanceId(disk(1)) + ": Restarted\n" + machine::usbInstanceId(disk(twin)) +
                           ": Restarted\n2 device(s) restarted.\n");
    EXPECT_EQ(disk(other).arrival, otherArrival);

    run = cmddev({"remove", "USB\\VID_DEAD&PID_BEEF"});
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "No devices were removed.\n");
    for (int slot : {1, twin, other})
        EXPECT_TRUE(disk(slot).present) << slot;
}

TEST_F(Cmddev, UsageErrorsExitOneWithTheUsage)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"reboot", kApplianceId}, {"remove"}, {"restart", ""}}) {
        auto run = cmddev(args);
        EXPECT_EQ(run.code, 1) << (args.empty() ? "" : args[0]);
        EXPECT_NE(run.err.find("Usage: cmddev remove"), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    EXPECT_TRUE(disk(1).present);
    auto help = cmddev({"help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("cmddev restart HWID"), std::string::npos);
}

TEST_F(Cmddev, AMissingMachineIsAFailureNotAMatch)
{
    auto run = runTool("cmddev", {"restart", kApplianceId}, "KX_MACHINE=" + shellQuote((dir_ / "nothere").string()));
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("no emulated machine"), std::string::npos) << run.err;
    EXPECT_TRUE(disk(1).present);
}

}  // namespace
