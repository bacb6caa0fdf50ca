// orvane usbfilter and the machine's node settings, run as a script would
// run them against a temporary machine.
#include <filesystem>
#include <fstream>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using tools_testing::runTool;

class OrvaneUsbFilter : public testing_support::TempMachine {
protected:
    tools_testing::ToolRun orvane(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--machine", dir_.string()});
        return runTool("orvane", args, "-u KX_MACHINE");
    }

    std::string devpath()
    {
        return "\\Device\\Harddisk" + std::to_string(state()->disks.at(1).number) + "\\Partition0";
    }

    std::vector<std::string> filters() { return machine::upperFiltersOf(*state(), state()->disks.at(1)); }
};

TEST_F(OrvaneUsbFilter, InstallAttachStatusAndDetach)
{
    const fs::path folder = dir_.parent_path() / "drivers";
    fs::create_directories(folder);
    auto run = orvane({"usbfilter", "install", folder.string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("could not be installed"), std::string::npos) << run.err;

    std::ofstream(folder / "kxusbflt.sys") << "driver";
    run = orvane({"usbfilter", "install", folder.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(machine::serviceNamed(*state(), "kxusbflt"), nullptr);

    run = orvane({"usbfilter", "status"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, devpath() + "\tno filter\n");

    run = orvane({"usbfilter", "attach"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Filter attached to " + devpath() + " and the disk restarted.\n");
    EXPECT_EQ(filters(), std::vector<std::string>{"kxusbflt"});
    EXPECT_EQ(state()->disks[1].nodeChanges, (std::vector<std::string>{"disable", "enable"}));
    run = orvane({"usbfilter", "status", "--device", devpath()});
    EXPECT_EQ(run.out, devpath() + "\tfilter listed\n");

    run = orvane({"usbfilter", "detach"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(filters().empty());
}

TEST_F(OrvaneUsbFilter, AttachFailureAndRebootRequestShowInTheExitCode)
{
    ASSERT_EQ(runTool("orvane-machine", {"set", "--disk", "1", "node_fail_on=enable,propchange"}).code, 0);
    EXPECT_EQ(state()->disks[1].nodeFailOn, static_cast<std::uint32_t>(machine::NodeEnable | machine::NodePropChange));
    ASSERT_EQ(runTool("orvane-machine", {"set", "wow64=true"}).code, 0);
    auto run = orvane({"usbfilter", "attach"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("taken off again"), std::string::npos) << run.err;
    EXPECT_TRUE(filters().empty());

    ASSERT_EQ(runTool("orvane-machine", {"set", "--disk", "1", "node_fail_on=none", "node_reboot_on=propchange"}).code,
              0);
    run = orvane({"usbfilter", "test-restart"});
    EXPECT_EQ(run.code, 4) << run.err;
    EXPECT_EQ(run.out, devpath() + " restarted; Windows asks for a reboot to finish.\n");

    // Refused changes are not made, so only the test's restart shows.
    const auto list = runTool("orvane-machine", {"list"});
    EXPECT_NE(list.out.find("node changes: propchange\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("node asks for a reboot after: propchange"), std::string::npos) << list.out;
    EXPECT_EQ(runTool("orvane-machine", {"set", "--disk", "1", "node_reboot_on=eject"}).code, 1);
}

TEST_F(OrvaneUsbFilter, BadCommandLines)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{"usbfilter"},
                                                                  {"usbfilter", "install"},
                                                                  {"usbfilter", "status", "extra"},
                                                                  {"usbfilter", "attach", "--all", "--device", "x"},
                                                                  {"usbfilter", "detach", "--all"}}) {
        const auto run = orvane(args);
        EXPECT_EQ(run.code, 2) << args.back() << ": " << run.err;
    }
}

}  // namespace
