// A machine handed to a tool as a folder descriptor (KX_MACHINE naming
// /proc/self/fd/N), as the machine's programs hand it to their children:
// the tool acts on that very folder, and judges it again before it does.
#include <sys/stat.h>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

using tools_testing::shellQuote;

class HandedDown : public testing_support::TempMachine {
protected:
    // The tool run with the folder open as its descriptor 3.
    tools_testing::ToolRun run(const std::string& tool, const std::string& args, const std::string& folder,
                               const std::string& named = "/proc/self/fd/3")
    {
        tools_testing::ToolRun r;
        r.code = testing_support::runCommand("env KX_MACHINE=" + named + " " +
                                                 shellQuote(testing_support::buildDir() + "/" + tool) + " " + args +
                                                 " 3<" + shellQuote(folder) + " 2>&1",
                                             &r.out);
        return r;
    }
};

TEST_F(HandedDown, ToolsActOnTheInheritedFolderOnceItPassesTheirOwnCheck)
{
    auto set = run("orvane-machine", "set lang_id=0x0404", dir_.string());
    ASSERT_EQ(set.code, 0) << set.out;
    EXPECT_EQ(state()->settings.langId, 0x0404);
    auto listed = run("orvane-machine", "list", dir_.string(), "/dev/fd/3");
    EXPECT_EQ(listed.code, 0) << listed.out;
    EXPECT_NE(listed.out.find("disk 1"), std::string::npos) << listed.out;
    auto devices = run("orvane", "devices", dir_.string());
    EXPECT_EQ(devices.code, 0) << devices.out;
    EXPECT_NE(devices.out.find("Appliance Disk"), std::string::npos) << devices.out;

    // Judged again: a folder others may change meanwhile is refused.
    ::chmod(dir_.c_str(), 0777);
    auto refused = run("orvane-machine", "list", dir_.string());
    ::chmod(dir_.c_str(), 0700);
    EXPECT_NE(refused.code, 0);
    EXPECT_NE(refused.out.find(dir_.string() + " is writable by others (mode 0777)"), std::string::npos)
        << refused.out;

    // A number that holds no folder, or none at all.
    auto file = run("orvane-machine", "list", (dir_ / "machine.json").string());
    EXPECT_NE(file.code, 0);
    EXPECT_NE(file.out.find("/proc/self/fd/3 is not a folder this process holds"), std::string::npos) << file.out;
    auto none = run("cmddev", "restart \"USB\\VID_1209&PID_4F43\"", dir_.string(), "/proc/self/fd/9");
    EXPECT_NE(none.code, 0);
    EXPECT_NE(none.out.find("/proc/self/fd/9 is not a folder this process holds"), std::string::npos) << none.out;
}

}  // namespace
