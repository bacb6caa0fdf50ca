// The machine folder as a trust boundary: a folder others may change is
// refused, nothing planted in it (links, programs) is followed or run, and
// what the machine makes is its owner's alone.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/win_api.h"
#include "platform/win_crt.h"
#include "support/temp_machine.h"

namespace {

namespace fs = std::filesystem;
constexpr uid_t kNobody = 65534;

std::string slurp(const fs::path& file)
{
    std::stringstream s;
    s << std::ifstream(file).rdbuf();
    return s.str();
}

mode_t modeOf(const fs::path& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class MachineTrust : public testing_support::TempMachine {
protected:
    fs::path Scratch(const std::string& name)
    {
        const fs::path p = dir_.parent_path() / name;
        fs::create_directories(p);
        ::chmod(p.c_str(), 0700);
        return p;
    }
    static std::string Refusal(const fs::path& dir)
    {
        try {
            machine::Machine::open(dir);
        } catch (const machine::MachineError& e) {
            return e.what();
        }
        return "opened";
    }
};

TEST_F(MachineTrust, FoldersOthersMayChangeAreRefusedNamingTheFolderAndWhy)
{
    const fs::path base = Scratch("base");
    const fs::path made = base / "m";
    machine::Machine::create(made);
    EXPECT_EQ(Refusal(made), "opened");
    EXPECT_EQ(machine::folderTrustProblem(made, ::geteuid()), "");

    ::chmod(made.c_str(), 0777);
    EXPECT_NE(Refusal(made).find(made.string() + " is writable by others (mode 0777)"), std::string::npos)
        << Refusal(made);
    ::chmod(made.c_str(), 0700);
    ::chmod(base.c_str(), 0770);
    EXPECT_EQ(machine::folderTrustProblem(made, ::geteuid()), base.string() + " is writable by its group (mode 0770)");
    // A sticky folder of root's, as /tmp, may sit above the machine.
    ::chmod(base.c_str(), 01777);
    EXPECT_EQ(machine::folderTrustProblem(made, 0), "");
    ::chmod(base.c_str(), 0700);

    // Another user's folder, and a link to it from a shared place; without
    // root, only as another user would see ours.
    if (::geteuid() != 0) {
        EXPECT_EQ(machine::folderTrustProblem(made, 4242), made.string() + " is owned by uid " +
                                                               std::to_string(::geteuid()) +
                                                               ", not by you (uid 4242) or root");
        GTEST_SKIP() << "the rest needs a folder of another user (run as root)";
    }
    const fs::path foreign = Scratch("foreign");
    ASSERT_EQ(::chown(foreign.c_str(), kNobody, kNobody), 0);
    EXPECT_NE(Refusal(foreign).find("is owned by uid 65534"), std::string::npos);
    try {
        machine::Machine::create(foreign);
        ADD_FAILURE() << "a machine was made in another user's folder";
    } catch (const machine::MachineError& e) {
        EXPECT_NE(std::string(e.what()).find("is owned by uid 65534, not by you (uid 0) or root"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(foreign / "machine.json"));
    fs::create_symlink(foreign, base / "link");
    EXPECT_NE(Refusal(base / "link").find(foreign.string() + " is owned by uid 65534"), std::string::npos);
}

TEST_F(MachineTrust, WhatANewMachineMakesIsItsOwnersAlone)
{
    ::umask(0);
    const fs::path made = Scratch("new") / "m";
    auto fresh = machine::Machine::create(made);
    ::umask(022);
    EXPECT_EQ(modeOf(made), 0700u);
    EXPECT_EQ(modeOf(made / "drive_c" / "Windows" / "system32"), 0700u);
    for (const char* file : {"machine.json", "machine.lock", "disk0.img", "disk1.img"})
        EXPECT_EQ(modeOf(made / file), 0600u) << file;
    EXPECT_EQ(modeOf(made / "drive_c/Windows/system32/cmd.exe"), 0700u);
}

TEST_F(MachineTrust, LinksPlantedInTheMachineAreReplacedOrRefusedNeverFollowed)
{
    const fs::path outside = dir_.parent_path() / "outside.txt";
    std::ofstream(outside) << "keep me";
    const fs::path templates = m().driveC() / "ProgramData/Microsoft/Windows/Templates";
    fs::create_directories(templates);

    // A file opened through the Windows API.
    fs::create_symlink(outside, templates / "kernel");
    const win::HANDLE h = win::CreateFileA("C:\\ProgramData\\Microsoft\\Windows\\Templates\\kernel", win::GENERIC_WRITE,
                                           0, nullptr, win::CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(h, win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::GetLastError(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(win::fopen("C:\\ProgramData\\Microsoft\\Windows\\Templates\\kernel", "w"), nullptr);

    // A link as a folder on the way is not gone through either.
    const fs::path elsewhere = dir_.parent_path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::create_directory_symlink(elsewhere, templates / "UpgradeLanguage");
    EXPECT_EQ(win::CreateFileA("C:\\ProgramData\\Microsoft\\Windows\\Templates\\UpgradeLanguage\\Multi_eng.ini",
                               win::GENERIC_WRITE, 0, nullptr, win::CREATE_ALWAYS, 0, nullptr),
              win::INVALID_HANDLE_VALUE);
    EXPECT_EQ(win::fopen("C:\\ProgramData\\Microsoft\\Windows\\Templates\\UpgradeLanguage\\setting.txt", "w"),
              nullptr);
    EXPECT_TRUE(fs::is_empty(elsewhere));

    // A copy's target: the link itself is replaced.
    const fs::path source = templates / "source.bin";
    std::ofstream(source) << "new bytes";
    fs::create_symlink(outside, templates / "cmddev.exe");
    EXPECT_TRUE(win::CopyFileA("C:\\ProgramData\\Microsoft\\Windows\\Templates\\source.bin",
                               "C:\\ProgramData\\Microsoft\\Windows\\Templates\\cmddev.exe", win::FALSE));
    EXPECT_FALSE(fs::is_symlink(templates / "cmddev.exe"));
    EXPECT_EQ(slurp(templates / "cmddev.exe"), "new bytes");

    // The state's rewrite.
    fs::create_symlink(outside, m().dir() / "machine.json.tmp");
    machine::setSetting(m(), "time_scale", "0.5");
    EXPECT_FALSE(fs::is_symlink(m().dir() / "machine.json"));
    EXPECT_EQ(slurp(outside), "keep me");
}

TEST_F(MachineTrust, ProgramsOthersMayChangeOrReachedThroughLinksAreNotRun)
{
    const fs::path marker = dir_.parent_path() / "ran";
    const std::string script = "#!/bin/sh\ntouch '" + marker.string() + "'\n";
    const fs::path system32 = m().driveC() / "Windows/system32";
    const auto runs = [&](const std::string& line) {
        std::string text = line;
        win::STARTUPINFOA startup{};
        win::PROCESS_INFORMATION info{};
        if (!win::CreateProcessA(nullptr, text.data(), nullptr, nullptr, win::FALSE, 0, nullptr, nullptr, &startup,
                                 &info))
            return false;
        win::WaitForSingleObject(info.hProcess, win::INFINITE);
        win::CloseHandle(info.hProcess);
        win::CloseHandle(info.hThread);
        return fs::exists(marker);
    };
    std::ofstream(system32 / "tool.exe") << script;
    ::chmod((system32 / "tool.exe").c_str(), 0666);
    EXPECT_FALSE(runs("tool"));
    ::chmod((system32 / "tool.exe").c_str(), 0600);
    fs::create_symlink(system32 / "tool.exe", system32 / "linked.exe");
    EXPECT_FALSE(runs("linked"));

    // A cmd.exe in the host's current folder is not the machine's.
    const fs::path cwd = dir_.parent_path() / "cwd";
    fs::create_directories(cwd);
    std::ofstream(cwd / "cmd.exe") << script;
    const fs::path before = fs::current_path();
    fs::current_path(cwd);
    runs("cmd /c exit 0");
    fs::current_path(before);
    EXPECT_FALSE(fs::exists(marker)) << "a program of the host's current folder ran";

    // The machine's own program without an execute bit runs, and is left as it was.
    EXPECT_TRUE(runs("tool"));
    EXPECT_EQ(modeOf(system32 / "tool.exe"), 0600u);
}

}  // namespace
