// orvane-machine watch: the disk notices a window would get, one line each
// as it comes, for an emulated plug and for a host disk plugged in.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/host_tree.h"
#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// orvane-machine watch running beside the test, its output read as it comes.
class Watcher {
public:
    explicit Watcher(const std::vector<std::string>& args)
    {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        const std::string program = testing_support::buildDir() + "/orvane-machine";
        std::vector<std::string> words = {program, "watch"};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Watcher()
    {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {out_, err_})
            if (fd >= 0)
                ::close(fd);
    }

    // Whether it said it is watching within the time.
    bool ready(std::chrono::milliseconds within = 10s)
    {
        const auto deadline = Clock::now() + within;
        while (errText_.find('\n') == std::string::npos && readSome(err_, errText_, deadline)) {
        }
        return errText_.find("watching the device notices of ") != std::string::npos;
    }
    // The lines printed so far, waiting up to the time for count of them.
    std::vector<std::string> lines(std::size_t count, std::chrono::milliseconds within = 5s)
    {
        const auto deadline = Clock::now() + within;
        while (split().size() < count && readSome(out_, outText_, deadline)) {
        }
        return split();
    }
    // Its exit status once it ended by itself, -1 when it did not in time.
    int end(std::chrono::milliseconds within)
    {
        const auto deadline = Clock::now() + within;
        int status = 0;
        while (Clock::now() < deadline) {
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
    const std::string& err() const { return errText_; }

private:
    static bool readSome(int fd, std::string& into, Clock::time_point deadline)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        into.append(buffer, static_cast<std::size_t>(got));
        return true;
    }
    std::vector<std::string> split() const
    {
        std::vector<std::string> whole;
        std::istringstream in(outText_.substr(0, outText_.rfind('\n') + 1));
        for (std::string line; std::getline(in, line);)
            whole.push_back(line);
        return whole;
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool ended_ = false;
    std::string outText_, errText_;
};

struct Line {
    long ms = -1;
    std::string what, path;
};

Line parseLine(const std::string& text)
{
    Line line;
    std::istringstream in(text);
    in >> line.ms >> line.what;
    std::getline(in >> std::ws, line.path);
    return line;
}

class OrvaneMachineWatch : public testing_support::TempMachine {};

TEST_F(OrvaneMachineWatch, EachEmulatedPlugIsPrintedAsItComesAndTheWatchEndsOnTime)
{
    const auto start = Clock::now();
    Watcher watch({"--seconds", "6"});
    ASSERT_TRUE(watch.ready()) << watch.err();
    EXPECT_TRUE(watch.lines(1, 800ms).empty()) << "what was plugged in before the watch is not news";

    ASSERT_EQ(tools_testing::runTool("orvane-machine", {"unplug", "1"}).code, 0);
    auto lines = watch.lines(2);
    ASSERT_EQ(lines.size(), 2u);
    const Line removal = parseLine(lines[0]);
    EXPECT_EQ(removal.what, "removal") << lines[0];
    EXPECT_TRUE(removal.path.starts_with("\\\\?\\USBSTOR#DISK&VEN_ORVANE&PROD_APPLIANCE_DISK")) << lines[0];
    EXPECT_EQ(parseLine(lines[1]).what, "changed") << lines[1];
    EXPECT_EQ(lines[1], std::to_string(parseLine(lines[1]).ms) + " changed") << "a notice with no interface has no path";

    ASSERT_EQ(tools_testing::runTool("orvane-machine", {"plug", "1"}).code, 0);
    lines = watch.lines(4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(parseLine(lines[2]).what, "arrival") << lines[2];
    EXPECT_EQ(parseLine(lines[2]).path, removal.path) << "the disk comes back under the interface it left by";
    EXPECT_EQ(parseLine(lines[3]).what, "changed") << lines[3];

    const auto added = tools_testing::runTool("orvane-machine", {"add-disk", "--size", "1G", "--serial", "WATCHED2"});
    ASSERT_EQ(added.code, 0) << added.err;
    lines = watch.lines(6);
    ASSERT_EQ(lines.size(), 6u);
    const Line arrival = parseLine(lines[4]);
    EXPECT_EQ(arrival.what, "arrival") << lines[4];
    EXPECT_NE(arrival.path.find("#WATCHED2&0#"), std::string::npos) << lines[4];
    EXPECT_EQ(parseLine(lines[5]).what, "changed") << lines[5];
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_GE(parseLine(lines[i]).ms, parseLine(lines[i - 1]).ms) << lines[i];
    EXPECT_GT(removal.ms, 800);
    EXPECT_LT(parseLine(lines[5]).ms, 6000);

    EXPECT_EQ(watch.end(5s), 0) << watch.err();
    EXPECT_GE(Clock::now() - start, 6s);
}

TEST_F(OrvaneMachineWatch, AHostDiskPluggedInIsPrintedWithNothingElseLooking)
{
    testing_support::HostTree tree;  // its roots reach the watch through the environment
    const fs::path block = tree.addDisk("sdb", "1-1", "HOTPLUG1");
    fs::remove(tree.root() / "sys/block/sdb");
    const fs::path hostMachine = dir_.parent_path() / "host-machine";
    ASSERT_EQ(tools_testing::runTool("orvane-machine", {"create", hostMachine.string(), "--host-disks"}).code, 0);

    Watcher watch({"--machine", hostMachine.string()});
    ASSERT_TRUE(watch.ready()) << watch.err();
    const auto plugged = Clock::now();
    fs::create_directory_symlink(block, tree.root() / "sys/block/sdb");
    auto lines = watch.lines(2, 3s);
    ASSERT_EQ(lines.size(), 2u) << watch.err();
    EXPECT_LT(Clock::now() - plugged, 2s);
    EXPECT_EQ(parseLine(lines[0]).what, "arrival") << lines[0];
    EXPECT_NE(lines[0].find("#HOTPLUG1&0#"), std::string::npos) << lines[0];

    fs::remove(tree.root() / "sys/block/sdb");
    lines = watch.lines(4, 3s);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(parseLine(lines[2]).what, "removal") << lines[2];
    EXPECT_EQ(parseLine(lines[2]).path, parseLine(lines[0]).path);
    EXPECT_EQ(watch.end(300ms), -1) << "without --seconds it watches until it is killed";
}

TEST_F(OrvaneMachineWatch, SecondsMustBeAWholeNumber)
{
    for (const char* bad : {"", "-1", "1.5", "ten", "99999999999"}) {
        const auto run = tools_testing::runTool("orvane-machine", {"watch", "--seconds", bad});
        EXPECT_EQ(run.code, 2) << bad;
        EXPECT_NE(run.err.find("orvane-machine: --seconds "), std::string::npos) << run.err;
    }
    const auto brief = tools_testing::runTool("orvane-machine", {"watch", "--seconds", "0"});
    EXPECT_EQ(brief.code, 0) << brief.err;
    EXPECT_EQ(brief.out, "");
}

}  // namespace
