// orvane: listing the USB storage disks and the user information commands,
// run as a user would run them against a temporary machine.
#include <fcntl.h>
#include <unistd.h>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

using tools_testing::runTool;

class OrvaneCli : public testing_support::TempMachine {
protected:
    tools_testing::ToolRun orvane(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--machine", dir_.string()});
        return runTool("orvane", args, "-u KX_MACHINE");
    }

    std::string devpath(int slot)
    {
        return "\\Device\\Harddisk" + std::to_string(state()->disks.at(static_cast<size_t>(slot)).number) +
               "\\Partition0";
    }

    std::string imageBytes(int slot, off_t offset, size_t size)
    {
        std::string bytes(size, '\0');
        const int fd = ::open(diskImage(slot).c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(::pread(fd, bytes.data(), size, offset), static_cast<ssize_t>(size));
        ::close(fd);
        return bytes;
    }

    void addSecondDisk()
    {
        machine::DiskOptions second;
        second.size = 2ull << 30;
        second.vendor = "ACME";
        second.product = "Stick";
        machine::addDisk(m(), second);
    }
};

TEST_F(OrvaneCli, DevicesListsTheApplianceWithItsFirstDriveAndNotTheSystemDisk)
{
    auto run = orvane({"devices"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, devpath(1) + "\tORVANE Appliance Disk USB Device\n");

    partitionWithSfdisk(1, "label: dos\\nstart=131136, size=204800, type=7\\n");
    run = orvane({"devices"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, devpath(1) + "\tORVANE Appliance Disk USB Device - Drives(D:)\n");
}

TEST_F(OrvaneCli, DevicesSaysSoWhenThereIsNone)
{
    machine::unplug(m(), 1);
    const auto run = orvane({"devices"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "No USB storage disk found.\n");

    // A disk the search cannot open for writing is named with the reason.
    machine::plug(m(), 1);
    machine::setDiskSetting(m(), 1, "read_only", "true");
    const std::string why = "disk 1 (ORVANE Appliance Disk USB Device): the machine marks it read_only";
    EXPECT_EQ(orvane({"devices"}).out,
              "No USB storage disk found.\norvane devices --all names 1 disk not offered, with the reason.\n");
    EXPECT_NE(orvane({"devices", "--all"}).out.find("not offered: " + why), std::string::npos);
    const auto get = orvane({"userinfo", "get"});
    EXPECT_EQ(get.code, 1);
    EXPECT_NE(get.err.find(why), std::string::npos) << get.err;
}

TEST_F(OrvaneCli, UserInfoRoundTripKeepsTextsNotGiven)
{
    auto run = orvane({"userinfo", "set", "--text1", "serial 9", "--text2", "Orvane lab", "--text3", "rack",
                       "--text4", "fourth text"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "User information written to " + devpath(1) + ".\n");
    EXPECT_EQ(imageBytes(1, 216, 10), std::string("serial 9\0\0", 10));
    EXPECT_EQ(imageBytes(1, 432, 4), "\xFF\xFF\xFF\xFF");

    run = orvane({"userinfo", "set", "--text2=changed"});
    ASSERT_EQ(run.code, 0) << run.err;
    run = orvane({"userinfo", "get", "--device", devpath(1)});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "text1: serial 9\ntext2: changed\ntext3: rack\ntext4: fourth text\n");

    // A control byte would split the lines get prints: refused when set,
    // shown escaped when another tool left one on the disk.
    for (const char* text : {"two\nlines", "tab\there", "bell\a", "del\x7f"}) {
        run = orvane({"userinfo", "set", "--text1", text});
        EXPECT_EQ(run.code, 2) << text;
        EXPECT_NE(run.err.find("--text1 cannot hold control characters"), std::string::npos) << run.err;
    }
    EXPECT_EQ(imageBytes(1, 216, 10), std::string("serial 9\0\0", 10)) << "a refused text was written";
    const int fd = ::open(diskImage(1).c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::pwrite(fd, "a\nb\\c", 6, 216), 6);
    ::close(fd);
    run = orvane({"userinfo", "get"});
    EXPECT_EQ(run.out.substr(0, run.out.find("text2")), "text1: a\\x0ab\\c\n");
}

TEST_F(OrvaneCli, BlankDiskHasEmptyTexts)
{
    const auto run = orvane({"userinfo", "get"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "text1: \ntext2: \ntext3: \ntext4: \n");
}

TEST_F(OrvaneCli, SeveralDisksNeedAChoice)
{
    addSecondDisk();
    chooseDisk(2);
    auto run = orvane({"userinfo", "get"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("choose one with --device"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(devpath(1) + "\tORVANE Appliance Disk USB Device"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(devpath(2) + "\tACME Stick USB Device"), std::string::npos) << run.err;

    run = orvane({"userinfo", "set", "--device", devpath(2), "--text1", "second"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(imageBytes(2, 216, 7), std::string("second\0", 7));
    EXPECT_EQ(imageBytes(1, 216, 7), std::string(7, '\0'));

    run = orvane({"userinfo", "get", "--device", "\\Device\\Harddisk0\\Partition0"});
    EXPECT_EQ(run.code, 1) << "the system disk is not a USB storage disk";
    EXPECT_NE(run.err.find("no USB storage disk at"), std::string::npos) << run.err;
}

TEST_F(OrvaneCli, CommandLineMistakesAreUsageErrors)
{
    const std::vector<std::vector<std::string>> mistakes = {
        {},
        {"frobnicate"},
        {"devices", "extra"},
        {"devices", "--device", "x"},
        {"userinfo"},
        {"userinfo", "put"},
        {"userinfo", "set"},
        {"userinfo", "set", "--text1", "sixteen bytes!!!"},
        {"userinfo", "set", "--text5", "x"},
        {"userinfo", "get", "--device"},
    };
    for (const auto& args : mistakes) {
        const auto run = orvane(args);
        EXPECT_EQ(run.code, 2) << testing::PrintToString(args) << run.err;
        EXPECT_NE(run.err.find("orvane help"), std::string::npos) << run.err;
    }
    EXPECT_EQ(imageBytes(1, 0, 512), std::string(512, '\0')) << "a refused command wrote";
    // An unknown option is named as such, also where it took a word as its value.
    for (const auto& args : std::vector<std::vector<std::string>>{{"upgrade", "--bogus", "image.bin"},
                                                                   {"setup", "--bogus", "1", "--partitions", "1"}}) {
        const auto run = orvane(args);
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find("unknown option --bogus"), std::string::npos) << run.err;
    }
    // A flag no command has is named as unknown, not as one missing its value
    // or a stray word; a near miss of a known one is pointed at it.
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    for (const Case& c : {Case{{"format", "2", "--label", "X", "--Yes"}, "unknown option --Yes; did you mean --yes?"},
                          Case{{"devices", "--bogus"}, "unknown option --bogus"},
                          Case{{"devices", "--bogus=1"}, "unknown option --bogus"},
                          Case{{"upgrade", "image.bin", "-y"}, "unknown option -y; did you mean --yes?"},
                          Case{{"setup", "--partitions", "1", "-y"}, "unknown option -y; did you mean --yes?"}}) {
        const auto run = orvane(c.args);
        EXPECT_EQ(run.code, 2) << testing::PrintToString(c.args);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("needs"), std::string::npos) << run.err;
    }
    EXPECT_EQ(orvane({"devices", "--bogus"}).err.find("did you mean"), std::string::npos);
}

TEST_F(OrvaneCli, HelpAndAMissingMachine)
{
    auto run = orvane({"help"});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("userinfo set"), std::string::npos);
    run = runTool("orvane", {"--machine", (dir_.parent_path() / "nowhere").string(), "devices"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("orvane: "), std::string::npos);
}

TEST_F(OrvaneCli, MachineComesFromTheEnvironmentToo)
{
    // TempMachine exports KX_MACHINE for child processes.
    const auto run = runTool("orvane", {"devices"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, devpath(1) + "\tORVANE Appliance Disk USB Device\n");
}

}  // namespace
