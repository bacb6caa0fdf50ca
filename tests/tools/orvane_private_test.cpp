// orvane private on a temporary machine, passwords handed over on a file
// descriptor as a script would: format, check, change, load and unload,
// and no password anywhere in the output or the machine's files.
#include <filesystem>
#include <fstream>

#include "support/temp_machine.h"
#include "tool_run.h"

namespace {

namespace fs = std::filesystem;
using tools_testing::shellQuote;

constexpr const char* kPassword = "open sesame 42";
constexpr const char* kNewPassword = "Another-Secret!";

class OrvanePrivate : public testing_support::TempMachine {
protected:
    // orvane with the given passwords, one a line, on file descriptor 3.
    tools_testing::ToolRun orvane(const std::vector<std::string>& args, const std::string& passwords = "")
    {
        const fs::path file = dir_.parent_path().parent_path() / (dir_.parent_path().filename().string() + ".pw");
        std::ofstream(file) << passwords;
        std::string command = "env -u KX_MACHINE " + shellQuote(testing_support::buildDir() + "/orvane") +
                              " --machine " + shellQuote(dir_.string());
        for (const auto& a : args)
            command += " " + shellQuote(a);
        // unload asks for no password and takes no descriptor.
        if (args.size() < 2 || args[1] != "unload")
            command += " --password-fd 3 3<" + shellQuote(file.string());
        tools_testing::ToolRun run;
        run.code = testing_support::runCommand(command, &run.out);
        fs::remove(file);
        outputs_ += run.out;
        return run;
    }

    tools_testing::ToolRun machineTool(const std::vector<std::string>& args)
    {
        std::vector<std::string> all = {"--machine", dir_.string()};
        all.insert(all.end(), args.begin(), args.end());
        return tools_testing::runTool("orvane-machine", all, "-u KX_MACHINE");
    }

    // One private partition of the type given, 300 MiB, as partition 1.
    void privatePartition(const std::string& type)
    {
        partitionWithSfdisk(1, "label: dos\\nstart=2048, size=614400, type=" + type + "\\n");
    }

    // Every file of the test's folder but the disk images, whose bytes the
    // library tests search.
    bool passwordFound(const std::string& password)
    {
        if (outputs_.find(password) != std::string::npos)
            return true;
        for (const auto& entry : fs::recursive_directory_iterator(dir_.parent_path())) {
            if (!entry.is_regular_file() || entry.file_size() > (64u << 20))
                continue;
            std::string out;
            if (testing_support::runCommand("grep -c -F -a " + shellQuote(password) + " " +
                                                shellQuote(entry.path().string()),
                                            &out) == 0)
                return true;
        }
        return false;
    }

    std::string outputs_;
};

TEST_F(OrvanePrivate, FormatCheckAndChangeWithoutTheDriver)
{
    privatePartition("1b");
    auto run = orvane({"private", "format", "1", "--label", "Vault", "--yes"}, std::string(kPassword) + "\n");
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_NE(run.out.find("Formatted partition 1 as a private FAT32 volume."), std::string::npos) << run.out;

    run = orvane({"private", "check", "1"}, std::string(kPassword) + "\n");
    EXPECT_EQ(run.code, 0) << run.out;
    EXPECT_NE(run.out.find("The password opens partition 1."), std::string::npos);
    run = orvane({"private", "check", "1"}, "wrong\n");
    EXPECT_EQ(run.code, 1) << run.out;

    run = orvane({"private", "passwd", "1"}, std::string(kPassword) + "\n" + kNewPassword + "\n");
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_EQ(orvane({"private", "check", "1"}, std::string(kPassword) + "\n").code, 1);
    EXPECT_EQ(orvane({"private", "check", "1"}, std::string(kNewPassword) + "\n").code, 0);

    EXPECT_EQ(orvane({"private", "check", "1"}, "").code, 1) << "no password on the descriptor";
    // Too long, and longer than a password's page: refused whole, never cut
    // to a prefix that might open the volume.
    for (std::size_t length : {65u, 300u}) {
        run = orvane({"private", "check", "1"}, std::string(kPassword) + std::string(length, 'x') + "\n");
        EXPECT_EQ(run.code, 1) << length;
        EXPECT_NE(run.out.find("a password takes 1 to 64 bytes"), std::string::npos) << run.out;
    }
    EXPECT_FALSE(passwordFound(kPassword));
    EXPECT_FALSE(passwordFound(kNewPassword));
}

// A change a failed write cuts short says which password opens the volume
// now, as the header on the disk tells.
TEST_F(OrvanePrivate, ChangeCutShortSaysWhichPasswordOpensNow)
{
    privatePartition("1b");
    const std::string both = std::string(kPassword) + "\n" + kNewPassword + "\n";
    ASSERT_EQ(orvane({"private", "format", "1", "--label", "Vault", "--yes"}, std::string(kPassword) + "\n").code, 0);
    auto failsSaying = [&](const std::string& passwords, const std::string& message) {
        const auto run = orvane({"private", "passwd", "1"}, passwords);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.out.find(message), std::string::npos) << run.out;
    };
    failsSaying(std::string("wrong\n") + kNewPassword + "\n",
                "the current password does not open partition 1; nothing was changed");
    machine::setDiskSetting(m(), 1, "fail_write_at", "2048");
    failsSaying(both, "the password of partition 1 was not changed: writing its header failed, and the current "
                      "password still opens it");
    machine::setDiskSetting(m(), 1, "fault_skip_writes", "17");  // the 18th of 36 passes fails
    failsSaying(both, "writing the header of partition 1 failed part way, yet the new password opens it now and "
                      "the current one no longer does");
    machine::setDiskSetting(m(), 1, "fail_write_at", "none");
    EXPECT_EQ(orvane({"private", "check", "1"}, std::string(kNewPassword) + "\n").code, 0);
    EXPECT_EQ(orvane({"private", "check", "1"}, std::string(kPassword) + "\n").code, 1);
}

// A disk that takes no writes: the check reads the header and answers,
// the right password is never called wrong and a wrong one still is.
TEST_F(OrvanePrivate, CheckOnADiskThatTakesNoWrites)
{
    privatePartition("1b");
    ASSERT_EQ(orvane({"private", "format", "1", "--label", "Vault", "--yes"}, std::string(kPassword) + "\n").code, 0);
    ASSERT_EQ(machineTool({"set", "--disk", "1", "write_protect=true"}).code, 0);
    auto run = orvane({"private", "check", "1"}, std::string(kPassword) + "\n");
    EXPECT_EQ(run.code, 0) << run.out;
    EXPECT_NE(run.out.find("The password opens partition 1."), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("does not open"), std::string::npos) << run.out;
    run = orvane({"private", "check", "1"}, "wrong\n");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("the password does not open partition 1"), std::string::npos) << run.out;
    ASSERT_EQ(machineTool({"set", "--disk", "1", "write_protect=false"}).code, 0);
    EXPECT_EQ(orvane({"private", "check", "1"}, std::string(kPassword) + "\n").code, 0);
}

TEST_F(OrvanePrivate, NtfsFileComesBackAfterUnloadAndLoad)
{
    privatePartition("17");
    const fs::path drivers = dir_.parent_path() / "drivers";
    fs::create_directories(drivers);
    std::ofstream(drivers / "kxcrypt.sys") << "driver";
    const std::string pw = std::string(kPassword) + "\n";

    auto run = orvane({"private", "format", "1", "--label", "Secret", "--yes", "--driver", drivers.string()}, pw);
    ASSERT_EQ(run.code, 0) << run.out;
    run = orvane({"private", "load", "1", "--letter", "M:"}, pw);
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_NE(run.out.find("Loaded partition 1 on M:."), std::string::npos) << run.out;
    run = orvane({"private", "load", "1"}, pw);
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.out.find("partition 1 is loaded already on M:"), std::string::npos) << run.out;

    const fs::path note = dir_.parent_path() / "note.txt";
    std::ofstream(note) << "kept inside the private volume";
    const auto put = machineTool({"put-file", "M:", note.string(), "note.txt"});
    ASSERT_EQ(put.code, 0) << put.err;
    run = orvane({"private", "unload", "1"});
    ASSERT_EQ(run.code, 0) << run.out;
    EXPECT_NE(machineTool({"get-file", "M:", "note.txt", note.string() + ".gone"}).code, 0);
    // A failed load says why: each reason is told apart from the others.
    struct Failure {
        std::vector<std::string> args;
        std::string password;
        const char* says;
    };
    for (const Failure& f : {Failure{{"private", "load", "1"}, "not the password\n", "the password does not open it"},
                             Failure{{"private", "load", "1", "--letter", "C:"}, pw,
                                     "the password opens it, but C: is taken by another drive"}}) {
        run = orvane(f.args, f.password);
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.out.find(std::string("partition 1 was not loaded: ") + f.says), std::string::npos) << run.out;
    }

    ASSERT_EQ(orvane({"private", "load", "1"}, pw).code, 0);
    ASSERT_EQ(machineTool({"get-file", "D:", "note.txt", note.string() + ".back"}).code, 0);
    std::ifstream back(note.string() + ".back");
    std::string text((std::istreambuf_iterator<char>(back)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "kept inside the private volume");
    EXPECT_EQ(orvane({"private", "unload", "1"}).code, 0);
    EXPECT_FALSE(passwordFound(kPassword));
}

// A loaded private volume keeps its disk: a setup or a format of it is
// refused before anything is written, naming the letter, and the volume,
// its keys and its letter stay. Keys no mount owns go at the next start of
// the library, wiped first.
TEST_F(OrvanePrivate, ALoadedVolumeKeepsItsDiskAndStrayKeysGoAtTheNextStart)
{
    partitionWithSfdisk(1, "label: dos\\nstart=2048, size=614400, type=1b\\nstart=616448, size=204800, type=7\\n");
    const fs::path drivers = dir_.parent_path() / "drivers";
    fs::create_directories(drivers);
    std::ofstream(drivers / "kxcrypt.sys") << "driver";
    const std::string pw = std::string(kPassword) + "\n";
    ASSERT_EQ(orvane({"private", "format", "1", "--label", "Vault", "--yes"}, pw).code, 0);
    auto run = orvane({"private", "load", "1", "--letter", "P:", "--driver", drivers.string()}, pw);
    ASSERT_EQ(run.code, 0) << run.out;
    auto keyFiles = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_ / "keys"))
            names.push_back(entry.path().filename().string());
        return names;
    };
    const auto keys = keyFiles();
    ASSERT_EQ(keys.size(), 1u);

    const std::string disk = testing_support::fingerprintFile(diskImage(1));
    const std::string device = "\\Device\\Harddisk1\\Partition0";
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"setup", "--partitions", "2", "--device", device, "--yes"},
          std::vector<std::string>{"format", "2", "--label", "Other", "--device", device, "--yes"}}) {
        std::vector<std::string> args = {"--machine", dir_.string()};
        args.insert(args.end(), command.begin(), command.end());
        run = tools_testing::runTool("orvane", args, "-u KX_MACHINE");
        EXPECT_NE(run.code, 0) << command[0] << run.out;
        EXPECT_NE(run.err.find("holds the loaded private volume P: (partition 1): unload P: first"), std::string::npos)
            << command[0] << run.out << run.err;
        EXPECT_EQ(testing_support::fingerprintFile(diskImage(1)), disk) << command[0];
        EXPECT_EQ(keyFiles(), keys);
    }
    run = machineTool({"list"});
    EXPECT_NE(run.out.find("P:"), std::string::npos) << run.out;

    // A key file left by a dismount killed between its steps; held shows
    // what was in the file when its name went.
    const fs::path stray = dir_ / "keys" / "999999.key";
    std::ofstream(stray, std::ios::binary) << std::string(64, 'k');
    const fs::path held = dir_.parent_path() / "held";
    fs::create_hard_link(stray, held);
    run = tools_testing::runTool("orvane", {"--machine", dir_.string(), "devices"}, "-u KX_MACHINE");
    EXPECT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_FALSE(fs::exists(stray));
    std::ifstream in(held, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(64, '\0'));
    EXPECT_EQ(keyFiles(), keys);

    ASSERT_EQ(orvane({"private", "unload", "1", "--driver", drivers.string()}).code, 0);
    EXPECT_TRUE(keyFiles().empty());
}

}  // namespace
