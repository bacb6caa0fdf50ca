// The machine folder as a trust boundary: a folder others may change is
// refused, nothing planted in it (links, programs) is followed or run, and
// what the machine makes is its owner's alone.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "machine/machine_open.h"
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
    // Runs the command line through the machine; true when it started, ended
    // and left the marker behind.
    static bool RunsAndLeaves(const std::string& line, const fs::path& marker)
    {
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
    }
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
    const auto runs = [&](const std::string& line) { return RunsAndLeaves(line, marker); };
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

// What a test set in the environment, put back as it was.
class EnvironmentVariable {
public:
    explicit EnvironmentVariable(const char* name) : name_(name)
    {
        if (const char* v = std::getenv(name))
            old_ = v;
    }
    ~EnvironmentVariable()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

bool sameFolder(const fs::path& a, const fs::path& b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

TEST_F(MachineTrust, LinksOnTheWayMustBeTheUsersOrRoots)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs a link of another user (run as root)";
    const fs::path shared = Scratch("shared");
    ::chmod(shared.c_str(), 01777);  // as /tmp
    const fs::path link = shared / "m1";
    fs::create_directory_symlink(dir_, link);

    // Root's own link leads to the machine, which is then judged as ever.
    EXPECT_EQ(machine::folderTrustProblem(link, 0), "");
    EXPECT_TRUE(sameFolder(machine::Machine::open(link)->dir(), dir_));

    // Another user's link in a shared folder could be pointed anywhere.
    ASSERT_EQ(::lchown(link.c_str(), kNobody, kNobody), 0);
    const std::string why = link.string() + " is a symbolic link owned by uid 65534, not by you (uid 0) or root";
    EXPECT_EQ(machine::folderTrustProblem(link, 0), why);
    EXPECT_NE(Refusal(link).find(why), std::string::npos) << Refusal(link);
    try {
        machine::Machine::create(link / "inner");
        ADD_FAILURE() << "a machine was made through another user's link";
    } catch (const machine::MachineError& e) {
        EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(dir_ / "inner"));

    // Deeper on the way too, and as the HOME's default machine a link of
    // the user's would be.
    fs::remove(link);
    const fs::path home = Scratch("home");
    fs::create_directories(home / ".local/share");
    fs::create_directory_symlink(dir_.parent_path(), home / ".local/share/orvane-config");
    ASSERT_EQ(::lchown((home / ".local/share/orvane-config").c_str(), kNobody, kNobody), 0);
    EXPECT_NE(Refusal(home / ".local/share/orvane-config/machine").find("is a symbolic link owned by uid 65534"),
              std::string::npos);
}

TEST_F(MachineTrust, TheFolderUsedIsTheOneCheckedThoughTheLinkIsSwitched)
{
    const fs::path place = Scratch("place");
    const fs::path link = place / "m";
    fs::create_directory_symlink(dir_, link);
    auto checked = machine::Machine::open(link);
    EXPECT_EQ(checked->shownDir(), link);

    // Another machine in the way after the check, as a user who owned the
    // link could do at any moment.
    const fs::path other = Scratch("other") / "m";
    auto decoy = machine::Machine::create(other);
    machine::setSetting(*decoy, "lang_id", "0x0404");
    fs::remove(link);
    fs::create_directory_symlink(other, link);

    EXPECT_EQ(checked->read()->settings.langId, 0x0409) << "the state was read from the folder switched in";
    machine::setSetting(*checked, "lang_id", "0x0804");
    EXPECT_EQ(machine::Machine::open(dir_)->read()->settings.langId, 0x0804);
    EXPECT_EQ(decoy->read()->settings.langId, 0x0404);
    EXPECT_TRUE(sameFolder(checked->dir(), dir_));
    EXPECT_TRUE(sameFolder(checked->driveC(), dir_ / "drive_c"));
    // What children are told names the held folder, not the link.
    EXPECT_EQ(checked->dir().string().rfind("/proc/self/fd/", 0), 0u) << checked->dir();
    EXPECT_TRUE(sameFolder(machine::Machine::open(checked->dir())->dir(), dir_));
}

TEST_F(MachineTrust, AHeldFolderHandedDownIsJudgedAgain)
{
    // As a child of the machine's program sees it: KX_MACHINE=/proc/self/fd/N.
    const int held = ::open(dir_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    const fs::path named = "/proc/self/fd/" + std::to_string(held);
    EXPECT_TRUE(sameFolder(machine::Machine::open(named)->dir(), dir_));
    EXPECT_EQ(machine::Machine::open(named)->shownDir(), dir_);
    EXPECT_TRUE(sameFolder(machine::Machine::open("/dev/fd/" + std::to_string(held))->dir(), dir_));

    ::chmod(dir_.c_str(), 0777);
    EXPECT_NE(Refusal(named).find(dir_.string() + " is writable by others (mode 0777)"), std::string::npos)
        << Refusal(named);
    ::chmod(dir_.c_str(), 0700);
    ::close(held);

    const int file = ::open((dir_ / "machine.json").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    EXPECT_NE(Refusal("/proc/self/fd/" + std::to_string(file)).find("is not a folder this process holds"),
              std::string::npos);
    ::close(file);
}

TEST_F(MachineTrust, FoldersTheMachineWritesInAreHeldToTheSameRule)
{
    machine::Machine::open(dir_);  // makes locks/ when a machine has none yet
    for (const char* inner : {"locks", "drive_c", "drive_c/Windows/system32",
                              "drive_c/ProgramData/Microsoft/Windows/Templates"}) {
        const fs::path folder = dir_ / inner;
        ASSERT_TRUE(fs::is_directory(folder)) << inner;
        ::chmod(folder.c_str(), 0777);
        EXPECT_NE(Refusal(dir_).find(folder.string() + " is writable by others (mode 0777)"), std::string::npos)
            << Refusal(dir_);
        ::chmod(folder.c_str(), 0770);
        EXPECT_NE(Refusal(dir_).find(folder.string() + " is writable by its group (mode 0770)"), std::string::npos)
            << Refusal(dir_);
        ::chmod(folder.c_str(), 0700);
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
            EXPECT_NE(Refusal(dir_).find(folder.string() + " is owned by uid 65534"), std::string::npos)
                << Refusal(dir_);
            ASSERT_EQ(::chown(folder.c_str(), 0, 0), 0);
        }
    }
    EXPECT_EQ(Refusal(dir_), "opened");

    // A link in their place is refused, not followed to a folder of nobody's.
    const fs::path elsewhere = Scratch("elsewhere");
    fs::rename(dir_ / "locks", dir_ / "locks.old");
    fs::create_directory_symlink(elsewhere, dir_ / "locks");
    EXPECT_NE(Refusal(dir_).find((dir_ / "locks").string() + " is a symbolic link"), std::string::npos)
        << Refusal(dir_);
}

TEST_F(MachineTrust, EveryFolderTheMachineMakesIsItsOwnersAloneWhateverTheUmask)
{
    const fs::path made = Scratch("umask") / "m";
    const mode_t before = ::umask(0);
    auto fresh = machine::Machine::create(made);
    EXPECT_EQ(modeOf(made / "locks"), 0700u);
    fs::remove(made / "locks");
    machine::Machine::open(made);
    EXPECT_EQ(modeOf(made / "locks"), 0700u) << "an older machine's locks/ made on open";

    // The folders the product makes later, as a device open and the
    // templates folder's own.
    fs::remove_all(made / "locks");
    machine::select(made);
    const win::HANDLE disk = win::CreateFileA("\\\\.\\PhysicalDrive1", win::GENERIC_READ,
                                              win::FILE_SHARE_READ | win::FILE_SHARE_WRITE, nullptr, win::OPEN_EXISTING,
                                              0, nullptr);
    EXPECT_NE(disk, win::INVALID_HANDLE_VALUE);
    win::CloseHandle(disk);
    EXPECT_TRUE(win::CreateDirectoryA("C:\\ProgramData\\Microsoft\\Windows\\Templates\\DiskJobs", nullptr));
    char folder[win::MAX_PATH] = {};
    fs::remove_all(made / "drive_c/Users");
    EXPECT_TRUE(win::SHGetSpecialFolderPathA(nullptr, folder, win::CSIDL_APPDATA, win::TRUE));
    ::umask(0277);  // one that takes the owner's own bits
    EXPECT_TRUE(win::CreateDirectoryA("C:\\ProgramData\\Microsoft\\Windows\\Templates\\UpgradeLanguage", nullptr));
    ::umask(before);
    EXPECT_EQ(modeOf(made / "drive_c/ProgramData/Microsoft/Windows/Templates/UpgradeLanguage"), 0700u);
    machine::select(dir_);
    EXPECT_EQ(modeOf(made / "locks"), 0700u);
    EXPECT_EQ(modeOf(made / "drive_c/ProgramData/Microsoft/Windows/Templates/DiskJobs"), 0700u);
    for (const char* on : {"drive_c/Users", "drive_c/Users/Operator", "drive_c/Users/Operator/AppData/Roaming"})
        EXPECT_EQ(modeOf(made / on), 0700u) << on;
}

TEST_F(MachineTrust, ScriptsRunFromTheCheckedBytesNeverThroughALinkedFolder)
{
    const fs::path marker = dir_.parent_path() / "ran";
    const std::string script = "#!/bin/sh\necho \"$0\" > '" + marker.string() + "'\n";
    const fs::path system32 = m().driveC() / "Windows/system32";
    const auto runs = [&](const std::string& line) { return RunsAndLeaves(line, marker); };

    // The interpreter reads the checked copy, not the file by its name.
    std::ofstream(system32 / "probe.exe") << script;
    ::chmod((system32 / "probe.exe").c_str(), 0600);
    ASSERT_TRUE(runs("probe"));
    EXPECT_EQ(slurp(marker).rfind("/proc/self/fd/", 0), 0u) << slurp(marker);
    fs::remove(marker);

    // system32 swapped for a link to a folder with a cmd.exe of its own.
    const fs::path planted = Scratch("planted");
    std::ofstream(planted / "cmd.exe") << script;
    ::chmod((planted / "cmd.exe").c_str(), 0600);
    fs::rename(system32, system32.parent_path() / "system32.old");
    fs::create_directory_symlink(planted, system32);
    EXPECT_FALSE(runs("cmd /c exit 0")) << "a script was run through a linked system32";
    EXPECT_FALSE(runs("C:\\Windows\\system32\\cmd.exe /c exit 0"));
    EXPECT_FALSE(fs::exists(marker));
}

// Kernels without openat2 get the same answers, one part at a time.
TEST_F(MachineTrust, WithoutOpenat2FilesAreReachedPartByPartNeverThroughALink)
{
    const fs::path templates = dir_ / "drive_c/ProgramData/Microsoft/Windows/Templates";
    std::ofstream(templates / "kernel") << "mine";
    const auto opens = [&](const std::string& relative, int flags = O_RDONLY) {
        const int fd = machine::openPartByPart(m().folderFd(), relative, flags, 0600);
        const int error = fd < 0 ? errno : 0;
        if (fd >= 0)
            ::close(fd);
        return error;
    };
    EXPECT_EQ(opens("drive_c/ProgramData/Microsoft/Windows/Templates/kernel"), 0);
    EXPECT_EQ(opens("drive_c/ProgramData/Microsoft/Windows/Templates/made", O_WRONLY | O_CREAT), 0);
    EXPECT_EQ(modeOf(templates / "made"), 0600u);
    EXPECT_EQ(opens("drive_c/ProgramData/Microsoft/Windows/Templates/missing"), ENOENT);

    const fs::path elsewhere = Scratch("elsewhere");
    std::ofstream(elsewhere / "kernel") << "theirs";
    fs::create_directory_symlink(elsewhere, templates / "Linked");
    fs::create_symlink(elsewhere / "kernel", templates / "linked.bin");
    EXPECT_EQ(opens("drive_c/ProgramData/Microsoft/Windows/Templates/Linked/kernel"), ELOOP);
    EXPECT_EQ(opens("drive_c/ProgramData/Microsoft/Windows/Templates/linked.bin"), ELOOP);
    EXPECT_EQ(opens("drive_c/../../outside"), EXDEV);
    EXPECT_EQ(opens("drive_c/.."), EXDEV);
    EXPECT_EQ(opens("machine.json/x"), ENOTDIR);
}

TEST_F(MachineTrust, WithoutAHomeOfTheUsersOwnTheDefaultMachineIsInThePasswordDatabasesHome)
{
    EnvironmentVariable home("HOME"), xdg("XDG_DATA_HOME");
    struct passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    const fs::path recorded = fs::path(user->pw_dir) / ".local/share/orvane-config/machine";
    ::unsetenv("XDG_DATA_HOME");

    ::unsetenv("HOME");
    EXPECT_EQ(machine::defaultDir(), recorded);
    for (const char* notOwn : {"", "relative/home", "/tmp", "/nonexistent-home"}) {
        ::setenv("HOME", notOwn, 1);
        EXPECT_EQ(machine::defaultDir(), recorded) << "HOME=" << notOwn;
    }
    const fs::path own = Scratch("own-home");
    ::setenv("HOME", own.c_str(), 1);
    EXPECT_EQ(machine::defaultDir(), own / ".local/share/orvane-config/machine");
    if (::geteuid() == 0) {
        // Root started with another user's HOME.
        ASSERT_EQ(::chown(own.c_str(), kNobody, kNobody), 0);
        EXPECT_EQ(machine::defaultDir(), recorded);
    }
    ::setenv("XDG_DATA_HOME", "relative/data", 1);
    EXPECT_EQ(machine::defaultDir(), recorded);
}

}  // namespace
