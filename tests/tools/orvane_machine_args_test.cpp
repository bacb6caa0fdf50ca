// orvane-machine: command lines it must refuse, and its help.
#include <functional>
#include <regex>
#include <set>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

using tools_testing::runTool;

class OrvaneMachineArgs : public testing_support::TempMachine {};

struct BadLine {
    std::vector<std::string> args;
    int code;
    std::string message;
};

TEST_F(OrvaneMachineArgs, BadCommandLinesFailWithAMessageAndChangeNothing)
{
    const std::string before = machine::describe(m(), *state());
    const BadLine lines[] = {
        {{}, 2, "no command"},
        {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
        {{"--size", "1G", "add-disk"}, 2, "unknown option --size before the command"},
        {{"add-disk", "--colour", "red"}, 2, "unknown option --colour for add-disk"},
        {{"list", "--size", "1G"}, 2, "unknown option --size for list"},
        {{"add-disk", "--size"}, 2, "--size needs a value"},
        {{"add-disk", "--size="}, 2, "--size needs a value"},
        {{"add-disk", "--size", "12Q"}, 2, "bad size '12Q'"},
        {{"add-disk", "--size", "-5"}, 2, "bad size '-5'"},
        {{"plug", "-1"}, 2, "unknown option -1 for plug"},
        {{"add-disk", "--size", "1000"}, 2, "multiple of 512"},
        {{"add-disk", "--size", "0"}, 2, "multiple of 512"},
        {{"add-disk", "--size", "99999999999T"}, 2, "too large"},
        {{"add-disk", "--size", "1G", "--size", "2G"}, 2, "--size is given twice"},
        {{"add-disk", "--vid", "12345"}, 2, "--vid takes up to four hex digits"},
        {{"add-disk", "--pid", "zz"}, 2, "--pid takes up to four hex digits"},
        {{"add-disk", "--usb", "--fixed-bus"}, 2, "exclude each other"},
        {{"add-disk", "--fixed-bus", "--vid", "1234"}, 2, "USB disks only"},
        {{"add-disk", "--removable=yes"}, 2, "--removable takes no value"},
        {{"add-disk", "--serial", "A\\B"}, 2, "--serial cannot hold"},
        {{"add-disk", "extra"}, 2, "usage: orvane-machine add-disk"},
        {{"plug"}, 2, "usage: orvane-machine plug N"},
        {{"plug", "1", "2"}, 2, "usage: orvane-machine plug N"},
        {{"unplug", "one"}, 2, "bad disk number 'one'"},
        {{"disk-path", "1x"}, 2, "bad disk number '1x'"},
        {{"set"}, 2, "usage: orvane-machine set"},
        {{"set", "admin"}, 2, "'admin' is not KEY=VALUE"},
        {{"set", "=1"}, 2, "'=1' is not KEY=VALUE"},
        {{"set", "--disk", "x", "read_only=1"}, 2, "bad disk number 'x'"},
        {{"list", "--machine"}, 2, "--machine needs a value"},
        {{"--machine", "a", "list", "--machine", "b"}, 2, "--machine is given twice"},
        {{"create", "a", "--machine", "b"}, 2, "create names two folders"},
        {{"plug", "7"}, 1, "no disk 7"},
        {{"set", "--disk", "7", "read_only=1"}, 1, "no disk 7"},
        {{"set", "bogus=1"}, 1, "unknown machine setting 'bogus'"},
        {{"set", "--disk", "1", "bogus=1"}, 1, "unknown disk setting 'bogus'"},
        {{"set", "admin=maybe"}, 1, "admin takes true or false"},
        {{"add-disk", "--vendor", "MUCHTOOLONG"}, 1, "at most 8, 16 and 4 characters"},
        {{"add-disk", "--backing", "/nonexistent/disk.img"}, 1, "cannot open backing /nonexistent/disk.img"},
        {{"add-disk", "--backing", "/tmp"}, 1, "neither a file nor a block device"},
    };
    for (const auto& line : lines) {
        std::string shown;
        for (const auto& a : line.args)
            shown += " " + a;
        auto run = runTool("orvane-machine", line.args);
        EXPECT_EQ(run.code, line.code) << shown << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << shown << "\n" << run.out;
        EXPECT_EQ(run.err.rfind("orvane-machine: ", 0), 0u) << shown << "\n" << run.err;
        EXPECT_NE(run.err.find(line.message), std::string::npos) << shown << "\n" << run.err;
        if (line.code == 2) {
            EXPECT_NE(run.err.find("orvane-machine help"), std::string::npos) << shown;
        }
    }
    EXPECT_EQ(machine::describe(m(), *state()), before);
    EXPECT_EQ(state()->disks.size(), 2u);
}

// The keys the machine knows, read from the list it gives when refusing one.
std::set<std::string> keysListedInRefusal(const std::function<void()>& refuse)
{
    std::set<std::string> keys;
    try {
        refuse();
    } catch (const machine::MachineError& e) {
        const std::string text = e.what();
        const std::string list = text.substr(text.find('(') + 1);
        const std::regex key("[a-z0-9_.]+");
        for (std::sregex_iterator it(list.begin(), list.end(), key), end; it != end; ++it)
            keys.insert(it->str());
    }
    return keys;
}

TEST_F(OrvaneMachineArgs, HelpListsEveryCommandOptionAndSettingKey)
{
    auto help = runTool("orvane-machine", {"help"});
    ASSERT_EQ(help.code, 0);
    EXPECT_EQ(runTool("orvane-machine", {"--help"}).out, help.out);
    EXPECT_EQ(runTool("orvane-machine", {"add-disk", "--help"}).out, help.out);

    for (const char* word : {"create DIR", "list", "add-disk", "plug N", "unplug N", "set KEY=VALUE",
                             "set --disk N", "disk-path N", "--machine DIR", "KX_MACHINE", "--size", "--vendor",
                             "--product", "--revision", "--serial", "--vid", "--pid", "--removable", "--fixed-bus",
                             "--usb", "--friendly-name", "--backing"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;

    auto machineKeys = keysListedInRefusal([&] { machine::setSetting(m(), "?", "1"); });
    auto diskKeys = keysListedInRefusal([&] { machine::setDiskSetting(m(), 1, "?", "1"); });
    ASSERT_GT(machineKeys.size(), 10u);
    ASSERT_GT(diskKeys.size(), 10u);
    std::set<std::string> helpWords;
    const std::regex word("[a-z0-9_.]+");
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), word), end; it != end; ++it)
        helpWords.insert(it->str());
    for (const auto& keys : {machineKeys, diskKeys})
        for (const auto& key : keys)
            EXPECT_TRUE(helpWords.count(key)) << key << " is missing from the help";
}

}  // namespace
