// A machine following the host's disks that offers none of them: the
// commands that need a disk name each disk the machine refuses with the
// reason orvane devices --all gives, whether they were to find one or were
// given one with --device, and fail without writing.
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <sstream>

#include "firmware_cli.h"
#include "support/host_tree.h"

namespace {

using namespace firmware_testing;

class OrvaneNotOffered : public FirmwareCli {
protected:
    void SetUp() override
    {
        FirmwareCli::SetUp();
        tree_ = std::make_unique<testing_support::HostTree>();
        tree_->addDisk("sda", "", "");  // on SATA
        tree_->addPartition(tree_->addDisk("sdd", "1-2", "MOUNTED1"), "sdd1", 8, 49);
        tree_->mount("8:49", "/media/stick");
        tree_->addPartition(tree_->addDisk("sde", "1-3", "SWAP0001"), "sde2", 8, 66);
        tree_->addSwap("/dev/sde2");
        hostDir_ = tree_->root() / "machine";
        ASSERT_EQ(runTool("orvane-machine", {"create", hostDir_.string(), "--host-disks"}).code, 0);
        for (const char* disk : {"sda", "sdd", "sde"})
            prints_.push_back(testing_support::fingerprintFile(node(disk)));

        const auto devices = onHost({"devices", "--all"});
        ASSERT_EQ(devices.code, 0) << devices.err;
        std::istringstream lines(devices.out);
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with("not offered: "))
                notOffered_.push_back(line);
        ASSERT_EQ(notOffered_.size(), 3u) << devices.out;
    }
    void TearDown() override
    {
        if (tree_) {
            int i = 0;
            for (const char* disk : {"sda", "sdd", "sde"})
                EXPECT_EQ(testing_support::fingerprintFile(node(disk)), prints_.at(i++)) << disk << " was written";
        }
        tree_.reset();
        FirmwareCli::TearDown();
    }
    fs::path node(const std::string& name) { return tree_->root() / "dev" / name; }
    tools_testing::ToolRun onHost(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--machine", hostDir_.string()});
        return runTool("orvane", args, "-u KX_MACHINE");
    }
    // The devices --all line of a disk, and the disk number it gives.
    std::string lineOf(const std::string& name)
    {
        for (const auto& line : notOffered_)
            if (line.find("/dev/" + name + " (") != std::string::npos)
                return line;
        ADD_FAILURE() << name << " is not among the disks not offered";
        return {};
    }
    int slotOf(const std::string& name)
    {
        std::smatch m;
        const std::string line = lineOf(name);
        return std::regex_search(line, m, std::regex("\\(disk ([0-9]+),")) ? std::stoi(m[1]) : -1;
    }

    std::unique_ptr<testing_support::HostTree> tree_;
    fs::path hostDir_;
    std::vector<std::string> notOffered_;  // "not offered: PATH (disk N, NAME): why"
    std::vector<std::string> prints_;
};

TEST_F(OrvaneNotOffered, EveryCommandThatNeedsADiskNamesTheRefusedOnesWithTheirReasons)
{
    // The reasons themselves, as the machine gives them.
    EXPECT_NE(lineOf("sda").find("): it is not on USB"), std::string::npos);
    EXPECT_NE(lineOf("sdd").find("): a partition is mounted at /media/stick"), std::string::npos);
    EXPECT_NE(lineOf("sde").find("swap"), std::string::npos) << lineOf("sde");

    const fs::path image = makeImage();
    const std::vector<std::vector<std::string>> commands = {
        {"upgrade", image.string(), "--yes"},
        {"setup", "--partitions", "1", "--yes"},
        {"format", "2", "--label", "Photos", "--yes"},
        {"private", "unload", "2"},
    };
    for (const auto& command : commands) {
        const auto run = onHost(command);
        EXPECT_EQ(run.code, 1) << command[0] << "\n" << run.out << run.err;
        EXPECT_NE(run.err.find("orvane: no USB storage disk found; nothing was written\n"), std::string::npos)
            << command[0] << "\n" << run.err;
        for (const auto& line : notOffered_)
            EXPECT_NE(run.err.find("\n  " + line + "\n"), std::string::npos) << command[0] << ": " << line << "\n"
                                                                            << run.err;
    }
}

TEST_F(OrvaneNotOffered, ARefusedDiskNamedWithDeviceIsSaidToBeRefusedAndWhy)
{
    const fs::path image = makeImage();
    const std::string sdd = node("sdd").string();
    const std::string harddisk = "\\Device\\Harddisk" + std::to_string(slotOf("sde")) + "\\Partition0";
    struct Case {
        std::vector<std::string> args;
        std::string named, line;
    };
    for (const Case& c : {Case{{"upgrade", image.string(), "--yes", "--device", sdd}, sdd, lineOf("sdd")},
                          Case{{"setup", "--partitions", "2", "--yes", "--device", harddisk}, harddisk, lineOf("sde")},
                          Case{{"format", "2", "--label", "X", "--yes", "--device", sdd}, sdd, lineOf("sdd")}}) {
        const auto run = onHost(c.args);
        EXPECT_EQ(run.code, 1) << run.out << run.err;
        EXPECT_EQ(run.err, "orvane: the machine does not offer " + c.named +
                               " as a USB storage disk; nothing was written\n  " + c.line + "\n");
    }

    // A name that is no disk at all still lists what the machine refuses.
    const auto run = onHost({"setup", "--partitions", "1", "--yes", "--device", "\\Device\\Harddisk9\\Partition0"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no USB storage disk at \\Device\\Harddisk9\\Partition0 (see orvane devices)\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 4) << run.err;
}

TEST_F(OrvaneNotOffered, AllDisksNamesTheRefusedOnesBeforeFindingNoneToTake)
{
    const fs::path image = makeImage();
    for (const auto& args : {std::vector<std::string>{"upgrade", image.string(), "--all", "--yes"},
                             std::vector<std::string>{"setup", "--partitions", "1", "--all", "--yes"}}) {
        const auto run = onHost(args);
        EXPECT_EQ(run.code, 1) << run.out << run.err;
        for (const auto& line : notOffered_)
            EXPECT_NE(run.out.find("Not offered: " + line.substr(std::string("not offered: ").size()) + "\n"),
                      std::string::npos)
                << line << "\n" << run.out;
        EXPECT_NE(run.err.find("no disk to"), std::string::npos) << run.err;
    }
}

// A tree the user does not own is no host at all: every disk it described
// is named with that reason, by orvane and by orvane-machine list.
TEST_F(OrvaneNotOffered, ATreeAnotherUserOwnsIsGivenAsTheReasonForEveryDisk)
{
    const fs::path sys = tree_->root() / "sys";
    ASSERT_EQ(::chown(sys.c_str(), 65534, 65534), 0);
    const std::string why = "host disks are not followed: ORVANE_HOST_SYSFS=" + sys.string() +
                            " is not safe to use: " + sys.string() + " is owned by uid 65534, not by you (uid 0) or root";
    const auto devices = onHost({"devices", "--all"});
    EXPECT_EQ(devices.code, 0) << devices.err;
    for (const char* disk : {"sda", "sdd", "sde"})
        EXPECT_NE(devices.out.find("/dev/" + std::string(disk) + " (disk " + std::to_string(slotOf(disk)) +
                                   ", "),
                  std::string::npos)
            << devices.out;
    EXPECT_EQ(std::count(devices.out.begin(), devices.out.end(), '\n'), 4) << devices.out;
    std::istringstream lines(devices.out);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(!line.starts_with("not offered: ") || line.ends_with("): " + why)) << line;

    const auto upgrade = onHost({"upgrade", makeImage().string(), "--yes"});
    EXPECT_EQ(upgrade.code, 1);
    EXPECT_NE(upgrade.err.find(why), std::string::npos) << upgrade.err;
    const auto listed = runTool("orvane-machine", {"--machine", hostDir_.string(), "list"}, "-u KX_MACHINE");
    EXPECT_NE(listed.out.find("refused: " + why), std::string::npos) << listed.out;

    // A machine that never saw the tree's disks still says why it has none.
    const fs::path fresh = tree_->root() / "fresh";
    const auto created = runTool("orvane-machine", {"create", fresh.string(), "--host-disks"}, "-u KX_MACHINE");
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_NE(created.out.find("\n" + why + "\n"), std::string::npos) << created.out;
    const auto none = runTool("orvane", {"--machine", fresh.string(), "devices", "--all"}, "-u KX_MACHINE");
    EXPECT_EQ(none.out, "No USB storage disk found.\nnot offered: the host's disks: " + why + "\n");
    ASSERT_EQ(::chown(sys.c_str(), 0, 0), 0);
}

}  // namespace
