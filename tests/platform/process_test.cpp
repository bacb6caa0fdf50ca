// CreateProcessA running programs of the machine's C: drive.
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "platform/win_api.h"
#include "support/process_run.h"
#include "support/temp_machine.h"

using namespace win;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Records the machine it was told to act on and its arguments in that
// machine's folder, which it reaches through the descriptor it inherits.
const char* const kProbe =
    "#!/bin/sh\n"
    "out=\"$KX_MACHINE/probe.out\"\n"
    "printf '%s\\n' \"$KX_MACHINE\" > \"$out\"\n"
    "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"$out\"; done\n"
    "exit 7\n";

class Process : public testing_support::TempMachine {
protected:
    fs::path writeProgram(const std::string& relative, const std::string& text, fs::perms perms)
    {
        const fs::path file = m().driveC() / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
        fs::permissions(file, perms);
        return file;
    }

    static std::string slurp(const fs::path& file)
    {
        std::stringstream s;
        s << std::ifstream(file).rdbuf();
        return s.str();
    }

    // Runs a command line to its end; returns the exit code.
    static DWORD run(std::string line)
    {
        return testing_support::runToEnd(std::move(line), testing_support::HandleCheck::expectClosed);
    }
};

TEST_F(Process, ArgumentsAndMachineReachTheChild)
{
    writeProgram("Windows/system32/probe.exe", kProbe, fs::perms::owner_all);
    // The child must act on this machine even when ours names another.
    ::setenv("KX_MACHINE", "/nonexistent-machine", 1);
    const DWORD code = run(R"(probe "D:\with space\file.bin" "tail\\" a\"b plain\path "")");
    ::setenv("KX_MACHINE", dir_.c_str(), 1);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(slurp(dir_ / "probe.out"),
              m().dir().string() + "\n[D:\\with space\\file.bin]\n[tail\\]\n[a\"b]\n[plain\\path]\n[]\n");
}

TEST_F(Process, UnquotedProgramPathWithBlanks)
{
    writeProgram("Documents and Settings/All Users/probe.exe", kProbe, fs::perms::owner_read | fs::perms::owner_write);
    // Written without execute bits, as the product writes its tools out.
    EXPECT_EQ(run(R"(C:\Documents and Settings\All Users\probe one  two)"), 7u);
    EXPECT_EQ(slurp(dir_ / "probe.out"), m().dir().string() + "\n[one]\n[two]\n");
}

TEST_F(Process, StartFailures)
{
    EXPECT_EQ(run("nosuchtool /x"), 1000u + ERROR_FILE_NOT_FOUND);
    writeProgram("Windows/system32/notes.exe", "just some text\n", fs::perms::owner_all);
    EXPECT_EQ(run("notes"), 1000u + ERROR_BAD_FORMAT);
}

TEST_F(Process, WaitTimesOutInRealTimeAndClosingLeavesNoZombie)
{
    writeProgram("Windows/system32/sleeper.exe", "#!/bin/sh\nexec sleep 30\n", fs::perms::owner_all);
    std::string line = "C:\\Windows\\system32\\sleeper.exe";
    STARTUPINFOA startup{};
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    const auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 200), WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150)) << "a child's time is not scaled";
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    const auto pid = static_cast<pid_t>(info.dwProcessId);
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_FALSE(CloseHandle(info.hThread));
    EXPECT_EQ(::kill(pid, 0), 0) << "closing the handles does not end the child";

    ::kill(pid, SIGKILL);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (::kill(pid, 0) == 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool gone = ::kill(pid, 0) != 0 && errno == ESRCH;
    EXPECT_TRUE(gone) << "the ended child was reaped";
}

}  // namespace
