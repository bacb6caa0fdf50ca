// orvane-machine watch: the disk notices a window would get, one line each
// as it comes, for an emulated plug and for a host disk plugged in.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/host_tree.h"
#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tools_testing::runTool;

// A watch running beside the test, its output in files of the test's folder.
class Watcher {
public:
    Watcher(const fs::path& folder, const std::string& args) : out_(folder / "watch.out"), err_(folder / "watch.err")
    {
        std::string shown;
        testing_support::runCommand(tools_testing::shellQuote(testing_support::buildDir() + "/orvane-machine") +
                                        " watch " + args + " >" + out_.string() + " 2>" + err_.string() + " & echo $!",
                                    &shown);
        pid_ = std::stoi(shown);
        for (int i = 0; i < 200 && text(err_).find("watching the device notices of ") == std::string::npos; ++i)
            std::this_thread::sleep_for(50ms);
    }
    ~Watcher() { ::kill(pid_, SIGKILL); }

    bool ready() const { return text(err_).find("watching the device notices of ") != std::string::npos; }
    // A zombie no init reaps counts as ended.
    bool running() const
    {
        const std::string stat = text("/proc/" + std::to_string(pid_) + "/stat");
        const std::size_t state = stat.rfind(") ");
        return state != std::string::npos && stat.compare(state + 2, 1, "Z") != 0;
    }
    // Each printed line as its milliseconds, what and path, waiting up to 5 s for count of them.
    std::vector<std::vector<std::string>> lines(std::size_t count, std::chrono::milliseconds within = 5s) const
    {
        std::vector<std::vector<std::string>> all;
        for (auto end = std::chrono::steady_clock::now() + within;; std::this_thread::sleep_for(20ms)) {
            all.clear();
            std::istringstream in(text(out_));
            for (std::string line; std::getline(in, line);) {
                std::istringstream words(line);
                all.emplace_back();
                for (std::string word; words >> word;)
                    all.back().push_back(word);
            }
            if (all.size() >= count || std::chrono::steady_clock::now() > end)
                return all;
        }
    }

private:
    static std::string text(const fs::path& file)
    {
        std::stringstream in;
        in << std::ifstream(file).rdbuf();
        return in.str();
    }
    fs::path out_, err_;
    pid_t pid_ = 0;
};

class OrvaneMachineWatch : public testing_support::TempMachine {};

TEST_F(OrvaneMachineWatch, EachEmulatedPlugIsPrintedAsItComesAndTheWatchEndsOnTime)
{
    const auto start = std::chrono::steady_clock::now();
    Watcher watch(dir_.parent_path(), "--seconds 5");
    ASSERT_TRUE(watch.ready());
    EXPECT_TRUE(watch.lines(1, 800ms).empty()) << "what was plugged in before the watch is not news";

    ASSERT_EQ(runTool("orvane-machine", {"unplug", "1"}).code, 0);
    auto lines = watch.lines(2);
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].size(), 3u);
    EXPECT_EQ(lines[0][1], "removal");
    const std::string disk = lines[0][2];
    EXPECT_TRUE(disk.starts_with("\\\\?\\USBSTOR#DISK&VEN_ORVANE&PROD_APPLIANCE_DISK")) << disk;
    EXPECT_EQ(lines[1], (std::vector<std::string>{lines[1][0], "changed"})) << "no interface, no path";
    EXPECT_GT(std::stol(lines[0][0]), 800);

    ASSERT_EQ(runTool("orvane-machine", {"plug", "1"}).code, 0);
    ASSERT_EQ(watch.lines(4).size(), 4u);
    ASSERT_EQ(runTool("orvane-machine", {"add-disk", "--size", "1G", "--serial", "WATCHED2"}).code, 0);
    lines = watch.lines(6);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], (std::vector<std::string>{lines[2][0], "arrival", disk}));
    EXPECT_EQ(lines[4][1], "arrival");
    EXPECT_NE(lines[4].back().find("#WATCHED2&0#"), std::string::npos) << lines[4].back();
    EXPECT_EQ(lines[5][1], "changed");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_LE(std::stol(lines[i - 1][0]), std::stol(lines[i][0]));

    while (watch.running() && std::chrono::steady_clock::now() - start < 10s)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(watch.running());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(OrvaneMachineWatch, AHostDiskPluggedInIsPrintedWithNothingElseLooking)
{
    testing_support::HostTree tree;  // its roots reach the watch through the environment
    const fs::path block = tree.addDisk("sdb", "1-1", "HOTPLUG1");
    fs::remove(tree.root() / "sys/block/sdb");
    const fs::path hostMachine = dir_.parent_path() / "host-machine";
    ASSERT_EQ(runTool("orvane-machine", {"create", hostMachine.string(), "--host-disks"}).code, 0);
    Watcher watch(dir_.parent_path(), "--machine " + hostMachine.string());
    ASSERT_TRUE(watch.ready());

    const auto plugged = std::chrono::steady_clock::now();
    fs::create_directory_symlink(block, tree.root() / "sys/block/sdb");
    auto lines = watch.lines(2, 3s);
    EXPECT_LT(std::chrono::steady_clock::now() - plugged, 2s);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0][1], "arrival");
    EXPECT_NE(lines[0].back().find("#HOTPLUG1&0#"), std::string::npos) << lines[0].back();

    fs::remove(tree.root() / "sys/block/sdb");
    lines = watch.lines(4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], (std::vector<std::string>{lines[2][0], "removal", lines[0][2]}));
    EXPECT_TRUE(watch.running()) << "without --seconds it watches until it is killed";
}

TEST_F(OrvaneMachineWatch, SecondsMustBeAWholeNumber)
{
    for (const char* bad : {"", "-1", "1.5", "ten", "99999999999"}) {
        const auto run = runTool("orvane-machine", {"watch", "--seconds", bad});
        EXPECT_EQ(run.code, 2) << bad;
        EXPECT_NE(run.err.find("orvane-machine: --seconds "), std::string::npos) << run.err;
    }
    const auto brief = runTool("orvane-machine", {"watch", "--seconds", "0"});
    EXPECT_EQ(brief.code, 0) << brief.err;
    EXPECT_EQ(brief.out, "");
}

}  // namespace
